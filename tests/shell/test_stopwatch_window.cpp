// The stopwatch window and the about window on their own: controls, texts, Start/Stop,
// closing, "Always on top", the home-page link, and that no text is cut off.
#include "support/RealProgram.h"

#include "platform/fakes/FakeBrowser.h"
#include "platform/fakes/FakeClock.h"
#include "platform/gui/DesktopBrowser.h"
#include "shell/ProgramPicture.h"
#include "shell/frmAbout.h"
#include "shell/frmStopWatch.h"
#include "speed/Format.h"
#include "speed/StopwatchPictures.h"
#include "support/CutOff.h"
#include "support/LocalText.h"
#include "support/TestFiles.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString text(const QObject& parent, const char* name) {
    if (auto* l = parent.findChild<QLabel*>(QString::fromLatin1(name)))
        return l->text();
    if (auto* b = parent.findChild<QAbstractButton*>(QString::fromLatin1(name)))
        return b->text();
    ADD_FAILURE() << "no control " << name;
    return {};
}

/// The twelve figure texts, row by row (transfer, data, overhead).
QStringList figures(const QObject& w) {
    QStringList list;
    for (int r = 0; r < 4; ++r)
        for (const char* a : {"lblTransfer", "lblData", "lblOverhead"})
            list << text(w, QStringLiteral("%1%2").arg(a).arg(r).toLatin1().constData());
    return list;
}

/// Every label and button shows its whole text.
void expectNothingCutOff(const QWidget& window) {
    const QStringList cut = cutOffTexts(window);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
}

/// Makes the application before any widget member.
struct AppFirst {
    AppFirst() { ensureApplication(); }
};

struct StopwatchRig : AppFirst {
    explicit StopwatchRig(DisplayUnits shown = {}) : units(shown) {}
    FakeClock clock;
    TrafficCounters counters;
    DisplayUnits units;
    frmStopWatch window{clock, counters, units};
    int restored = 0;
    bool mainTopmost = false;
    void wire() {
        window.mainWindowTopmost = [this] { return mainTopmost; };
        window.restoreMainTopmost = [this] { ++restored; };
    }
    QPushButton* button(const char* name) { return child<QPushButton>(window, name); }
};

} // namespace

TEST(StopwatchWindow, ControlsAndTextsAtLoad) {
    StopwatchRig r({3, 1});
    frmStopWatch& w = r.window;
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quelmint StopWatch"));
    EXPECT_EQ(w.objectName(), QStringLiteral("frmStopWatch"));
    const std::pair<const char*, const char*> texts[] = {
        {"Command1", "Start"},
        {"Command2", "Close"},
        {"Label3", "Always on top"},
        {"Label1", "00:00:00.0"},
        {"lblAvgSpeedCaption", "Avg. speed:"},
        {"lblAvgSpeed", "0.00 KB/s"},
        {"lblRowCaption0", " Download"},
        {"lblRowCaption1", " Upload"},
        {"lblRowCaption2", " Pass-by"},
        {"lblRowCaption3", " Total"},
        {"lblColumnCaption0", "Transfer "},
        {"lblColumnCaption1", "Data "},
        {"lblColumnCaption2", "Overhead "},
    };
    for (const auto& [name, expected] : texts)
        EXPECT_EQ(text(w, name), local(expected)) << name;
    for (const QString& f : figures(w))
        EXPECT_EQ(f, QStringLiteral("0 B "));
    EXPECT_FALSE(w.Timer1.isActive());
    EXPECT_EQ(w.Timer1.interval(), 100);
    auto* check = child<QCheckBox>(w, "Check1");
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->isChecked());
    // The elapsed time in Verdana, or DejaVu Sans where Verdana is missing.
    auto* label1 = child<QLabel>(w, "Label1");
    ASSERT_NE(label1, nullptr);
    const QString family = QFontInfo(label1->font()).family();
    EXPECT_TRUE(family == QStringLiteral("Verdana") || family == QStringLiteral("DejaVu Sans"))
        << family.toStdString();
    // Picture 12 of the animation.
    auto* picture = child<QLabel>(w, "Picture1");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(w.shownPicture(), 12);
    EXPECT_EQ(picture->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
              StopwatchPictures::picture(12));
}

TEST(StopwatchWindow, StartStopAndTheTimerThatDrivesIt) {
    StopwatchRig r({0, 1});
    frmStopWatch& w = r.window;
    w.openFromMainWindow();
    r.counters.add(Direction::Download, 5000, 4000, 1000); // before the start: not measured
    QTest::mouseClick(r.button("Command1"), Qt::LeftButton);
    EXPECT_EQ(text(w, "Command1"), QStringLiteral("Stop"));
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_TRUE(w.stopwatch().isStopWatchActive());

    r.counters.add(Direction::Upload, 742, 700, 42);
    w.updateStopwatchStats();
    EXPECT_EQ(text(w, "lblTransfer1"), QStringLiteral("742 "));
    EXPECT_EQ(text(w, "lblOverhead3"), QStringLiteral("42 "));
    EXPECT_EQ(text(w, "lblTransfer0"), QStringLiteral("0 "));

    // The real 100 ms timer shows the time of the fake clock.
    r.clock.advance(3725400);
    EXPECT_TRUE(waitUntil([&] { return text(w, "Label1") == local("01:02:05.4"); }, 10000))
        << text(w, "Label1").toStdString();

    QTest::mouseClick(r.button("Command1"), Qt::LeftButton);
    EXPECT_EQ(text(w, "Command1"), QStringLiteral("Start"));
    EXPECT_FALSE(w.Timer1.isActive());
    EXPECT_FALSE(w.stopwatch().isStopWatchActive());
    EXPECT_EQ(text(w, "lblTransfer1"), QStringLiteral("742 ")); // the figures stay
    EXPECT_EQ(text(w, "Label1"), local("01:02:05.4"));

    // Started again: from zero.
    QTest::mouseClick(r.button("Command1"), Qt::LeftButton);
    EXPECT_EQ(text(w, "Label1"), local("00:00:00.0"));
    EXPECT_EQ(text(w, "lblTransfer1"), QStringLiteral("0 "));
    EXPECT_EQ(w.shownPicture(), 12);
}

TEST(StopwatchWindow, ClosingStopsAndHidesAndReopeningShowsZero) {
    // Closed one of three ways while running, or opened again while still open.
    enum class Way { CloseButton, CloseBox, Escape, LeftOpen };
    for (const Way way : {Way::CloseButton, Way::CloseBox, Way::Escape, Way::LeftOpen}) {
        SCOPED_TRACE(int(way));
        StopwatchRig r({3, 0});
        frmStopWatch& w = r.window;
        QPointer<frmStopWatch> alive(&w);
        w.openFromMainWindow();
        ASSERT_TRUE(w.isVisible());
        QTest::mouseClick(r.button("Command1"), Qt::LeftButton);
        r.counters.add(Direction::Passby, 2048, 2000, 48);
        w.updateStopwatchStats();
        r.clock.advance(1500);
        w.stopwatch().tick();
        EXPECT_EQ(text(w, "lblTransfer2"), local("2.00 K "));
        if (way == Way::LeftOpen) {
            // Opening a visible stopwatch keeps it running with its figures.
            w.openFromMainWindow();
            EXPECT_TRUE(w.isVisible());
            EXPECT_EQ(text(w, "Command1"), QStringLiteral("Stop"));
            EXPECT_TRUE(w.Timer1.isActive());
            EXPECT_EQ(text(w, "lblTransfer2"), local("2.00 K "));
            continue;
        }
        if (way == Way::CloseBox)
            w.close();
        else if (way == Way::Escape)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            QTest::mouseClick(r.button("Command2"), Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
        ASSERT_FALSE(alive.isNull());
        EXPECT_FALSE(w.Timer1.isActive());
        EXPECT_FALSE(w.stopwatch().isStopWatchActive());

        // Frames while closed change nothing; reopening shows zeros and "Start".
        r.counters.add(Direction::Passby, 100, 80, 20);
        w.updateStopwatchStats();
        w.openFromMainWindow();
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(text(w, "Command1"), QStringLiteral("Start"));
        EXPECT_EQ(text(w, "Label1"), local("00:00:00.0"));
        EXPECT_EQ(text(w, "lblAvgSpeed"), QStringLiteral("0 kbps"));
        for (const QString& f : figures(w))
            EXPECT_EQ(f, QStringLiteral("0 B "));
    }
}

TEST(StopwatchWindow, AlwaysOnTopFollowsTheBoxTheLabelAndTheMainWindow) {
    struct Case {
        bool mainTopmost;
        bool tickedAfterOpen;
        int restoredAfterClearing;
    };
    const Case cases[] = {{false, false, 0}, {true, true, 1}};
    for (const Case& c : cases) {
        StopwatchRig r;
        r.wire();
        r.mainTopmost = c.mainTopmost;
        frmStopWatch& w = r.window;
        w.openFromMainWindow();
        EXPECT_EQ(w.isTopmostChecked(), c.tickedAfterOpen) << c.mainTopmost;
        EXPECT_EQ(w.isTopmost(), c.tickedAfterOpen) << c.mainTopmost;
        EXPECT_TRUE(w.isVisible());

        // A click on the caption toggles the box, and the box the topmost band.
        auto* label = child<QLabel>(w, "Label3");
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(w.isTopmostChecked(), !c.tickedAfterOpen);
        EXPECT_EQ(w.isTopmost(), !c.tickedAfterOpen);
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(w.isTopmost(), c.tickedAfterOpen);
        EXPECT_TRUE(w.isVisible());

        // Clearing the box itself: not topmost, and the main window back on top when it
        // is set so.
        auto* check = child<QCheckBox>(w, "Check1");
        check->setChecked(true);
        EXPECT_TRUE(w.isTopmost());
        r.restored = 0;
        QTest::mouseClick(check, Qt::LeftButton);
        EXPECT_FALSE(check->isChecked());
        EXPECT_FALSE(w.isTopmost());
        EXPECT_EQ(r.restored, c.restoredAfterClearing) << c.mainTopmost;
        EXPECT_TRUE(w.isVisible());

        // setTopmost() for the main window's use.
        w.setTopmost(true);
        EXPECT_TRUE(check->isChecked());
        EXPECT_TRUE(w.isTopmost());
    }
}

TEST(StopwatchWindow, NothingIsCutOffWithLargeFigures) {
    StopwatchRig r({2, 0});
    frmStopWatch& w = r.window;
    w.openFromMainWindow();
    QTest::mouseClick(r.button("Command1"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    expectNothingCutOff(w);
    // Terabytes in megabytes, a hundred hours, a fast line.
    r.counters.add(Direction::Download, 5.0e12, 4.9e12, 1.0e11);
    r.counters.add(Direction::Upload, 7.0e11, 6.9e11, 1.0e10);
    w.updateStopwatchStats();
    for (int i = 0; i < 3; ++i) {
        r.clock.advance(360000000 / 3);
        w.stopwatch().tick();
    }
    spin(100); // the layout follows the texts once the events are handled
    EXPECT_EQ(text(w, "lblTransfer0"), local("4768371.58 M "));
    EXPECT_EQ(text(w, "Label1"), local("100:00:00.0"));
    expectNothingCutOff(w);
}

TEST(AboutWindow, TextsPictureAndClose) {
    ensureApplication();
    FakeBrowser browser;
    frmAbout about(&browser);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quelmint"));
    const std::pair<const char*, const char*> texts[] = {
        {"Label3", "Quelmint Pre Release Ver. 1.0.0.1"},
        {"Label2", "All rights reserved"},
        {"Label5", "E-Mail:"},
        {"Command1", "Close"},
    };
    for (const auto& [name, expected] : texts)
        EXPECT_EQ(text(about, name), QString::fromLatin1(expected)) << name;
    // The notice, the address and the home page are the project's own.
    EXPECT_TRUE(text(about, "Label1").contains(QStringLiteral("Quelmint")));
    EXPECT_TRUE(text(about, "Label4").contains(QLatin1Char('@')));
    EXPECT_TRUE(text(about, "Label6").startsWith(QStringLiteral("https://")));
    // The labels sit in Frame1.
    auto* frame = child<QGroupBox>(about, "Frame1");
    ASSERT_NE(frame, nullptr);
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
        EXPECT_NE(frame->findChild<QLabel*>(QString::fromLatin1(name)), nullptr) << name;

    // The picture: a dark panel, green columns on a light baseline.
    auto* picture = child<QLabel>(about, "Picture1");
    ASSERT_NE(picture, nullptr);
    const QImage image = picture->pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(image.pixelColor(4, 4), QColor(0x12, 0x26, 0x40));
    EXPECT_EQ(image.pixelColor(52, 40), QColor(0x2E, 0xC0, 0x4E));
    EXPECT_EQ(image.pixelColor(30, 54), QColor(0xE0, 0xE0, 0xE0));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0x5A, 0x7A, 0x9A));

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    expectNothingCutOff(about);
    QTest::mouseClick(child<QPushButton>(about, "Command1"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_TRUE(browser.opened.isEmpty());
}

TEST(AboutWindow, EachClickOnTheLinkOpensItsAddressOnce) {
    ensureApplication();
    FakeBrowser browser;
    frmAbout about(&browser);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto* link = child<QLabel>(about, "Label6");
    ASSERT_NE(link, nullptr);
    const QString address = link->text();
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(browser.opened, QStringList{address});
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(browser.opened, QStringList({address, address}));
    // Other buttons and clicks elsewhere open nothing.
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mouseClick(child<QLabel>(about, "Label4"), Qt::LeftButton);
    EXPECT_EQ(browser.opened.size(), 2);
    // From the keyboard.
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Space);
    EXPECT_EQ(browser.opened.size(), 3);
    // The label shows what is opened, whatever it says.
    link->setText(QStringLiteral("https://other.example.org/"));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(browser.opened.last(), QStringLiteral("https://other.example.org/"));

    EXPECT_TRUE(about.isVisible());
}

TEST(AboutWindow, TheLinkSaysWhenNoBrowserCouldBeOpened) {
    ensureApplication();
    enum class Browser { Opens, FailsAtOnce, FailsLater, Missing };
    const struct {
        const char* name;
        Browser browser;
        bool said;
    } cases[] = {{"a browser opens", Browser::Opens, false},
                 {"none can be started", Browser::FailsAtOnce, true},
                 {"the opener finds none", Browser::FailsLater, true},
                 {"the program has none", Browser::Missing, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeBrowser browser;
        browser.fail = c.browser == Browser::FailsAtOnce;
        frmAbout about(c.browser == Browser::Missing ? nullptr : &browser);
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        auto* note = child<QLabel>(about, "lblNoBrowser");
        ASSERT_NE(note, nullptr);
        EXPECT_FALSE(note->isVisible());
        QTest::mouseClick(child<QLabel>(about, "Label6"), Qt::LeftButton);
        if (c.browser == Browser::FailsLater) {
            EXPECT_FALSE(note->isVisible()) << "not before the opener has ended";
            browser.failNow();
        }
        EXPECT_EQ(note->isVisible(), c.said);
        EXPECT_EQ(note->text(), QStringLiteral("No web browser could be opened for this address."));
        expectNothingCutOff(about);
        if (c.browser == Browser::FailsAtOnce && qEnvironmentVariableIsSet("QUELMINT_BUILD_DIR")) {
            const QString dir =
                qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
            QDir().mkpath(dir);
            about.grab().save(dir + QStringLiteral("/about-no-browser%1.png")
                                        .arg(about.devicePixelRatioF() > 1 ? QStringLiteral("-scaled")
                                                                           : QString()));
        }
        // A later click that opens one takes the note away.
        browser.fail = false;
        if (c.browser != Browser::Missing) {
            QTest::mouseClick(child<QLabel>(about, "Label6"), Qt::LeftButton);
            EXPECT_FALSE(note->isVisible());
        }
    }
}

TEST(DesktopBrowser, TheOpenersEndTellsWhetherABrowserTookTheAddress) {
    ensureApplication();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        const char* name;
        const char* script; // null: no such program
        bool failed;
    } cases[] = {{"a browser took it", "#!/bin/sh\necho \"$1\" > \"$0.url\"\nexit 0\n", false},
                 {"no method available", "#!/bin/sh\necho \"$1\" > \"$0.url\"\nexit 3\n", true},
                 {"the opener cannot start", nullptr, true}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString opener = dir.filePath(QStringLiteral("opener%1").arg(++n));
        if (c.script != nullptr) {
            ASSERT_TRUE(writeFile(opener, c.script));
            QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner);
        }
        DesktopBrowser browser(opener);
        bool failed = false;
        EXPECT_TRUE(browser.openUrl(QStringLiteral("https://quelmint.example.org/"),
                                    [&failed] { failed = true; }));
        EXPECT_EQ(browser.runningOpeners(), 1);
        ASSERT_TRUE(waitUntil([&] { return browser.runningOpeners() == 0; }, 10000));
        EXPECT_EQ(failed, c.failed);
        if (c.script != nullptr)
            EXPECT_EQ(readFile(opener + ".url").trimmed(), "https://quelmint.example.org/");
    }
    EXPECT_FALSE(DesktopBrowser().openUrl(QStringLiteral("")));
}
