// The status frame's line on frames lost by the capture: what the housekeeping tick reports,
// on which tabs it shows, the statistics reset and the day change. Runs offscreen; ctest runs
// it once more with QT_SCALE_FACTOR=1.5.
#include "support/CutOff.h"
#include "support/LocalText.h"
#include "support/MainWindow.h"

#include "monitor/AdapterMonitor.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QTreeWidget>

namespace {

/// A main window with every outside service faked, capturing on eth0.
struct Main : MainWindow {
    Main() {
        startShown();
        strip = find<QTabBar>(QStringLiteral("TabStrip1"));
        line = find<QLabel>(QStringLiteral("lblCaptureLoss"));
    }
    bool lineShown() const { return line->isVisible(); }

    QTabBar* strip = nullptr;
    QLabel* line = nullptr;
};

/// Saves a picture of the window with the tooltip of the list's first row shown over it, as
/// build/artifacts/<name>[_scaled].png.
void saveWithTooltip(QWidget& window, QTreeWidget* log, const QString& name) {
    const QRect cell = log->visualItemRect(log->topLevelItem(0));
    QToolTip::showText(log->viewport()->mapToGlobal(cell.center()),
                       log->topLevelItem(0)->toolTip(0), log->viewport());
    QImage picture = window.grab().toImage();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible()) {
            // Where the screen pushed the tip aside, it is drawn inside the picture.
            QPoint at = window.mapFromGlobal(w->pos());
            at.setX(qBound(0, at.x(), qMax(0, picture.width() - w->width())));
            QPainter painter(&picture);
            painter.drawPixmap(at, w->grab());
        }
    QToolTip::hideText();
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    picture.save(dir + QLatin1Char('/') + name +
                 (qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? QStringLiteral("_scaled.png")
                                                               : QStringLiteral(".png")));
}

TEST(CaptureLossLine, ShowsTheRunsCountOnBytesAndPacketsWhileAboveZero) {
    Main m;
    ASSERT_NE(m.line, nullptr);
    ASSERT_EQ(m.capture.calls.count(QStringLiteral("StartCapture")), 1);
    struct Step {
        quint64 dropped;
        const char* text; // "" = not shown
    };
    const Step steps[] = {
        {0, ""},
        {1234, "Frames lost by the capture: 1234"},
        {0, "Frames lost by the capture: 1234"},
        {66, "Frames lost by the capture: 1300"},
        {190000, "Frames lost by the capture: 191300"},
    };
    for (const Step& s : steps) {
        m.housekeeping(s.dropped);
        const bool shown = *s.text != '\0';
        for (int tab : {1, 2, 3}) {
            m.strip->setCurrentIndex(tab - 1);
            EXPECT_EQ(m.lineShown(), shown && tab != 3) << s.dropped << " on tab " << tab;
        }
        m.strip->setCurrentIndex(0);
        if (shown) {
            EXPECT_EQ(m.line->text(), QString::fromLatin1(s.text));
        }
    }
    EXPECT_EQ(m.session().captureLoss().dayCount(), 191300u);
}

TEST(CaptureLossLine, ResetStatisticsHidesItAndTheDayKeepsItsCount) {
    Main m;
    m.housekeeping(500);
    ASSERT_TRUE(m.lineShown());
    auto* reset = m.find<QPushButton>(QStringLiteral("cmdReset"));
    ASSERT_NE(reset, nullptr);
    QTest::mouseClick(reset, Qt::LeftButton);
    EXPECT_FALSE(m.lineShown());
    EXPECT_EQ(m.session().captureLoss().runCount(), 0u);
    EXPECT_EQ(m.session().captureLoss().dayCount(), 500u);
    m.housekeeping(0);
    EXPECT_FALSE(m.lineShown());
    m.housekeeping(3);
    EXPECT_TRUE(m.lineShown());
    EXPECT_EQ(m.line->text(), QStringLiteral("Frames lost by the capture: 3"));
    EXPECT_EQ(m.session().captureLoss().dayCount(), 503u);
    // The day's line of the coverage file beside the year files: seconds monitored (ticks one
    // second apart after the first) and frames lost, the reset notwithstanding.
    QStringList coverage;
    for (const QString& f : m.fs.files())
        if (f.endsWith(QStringLiteral("/2026.coverage")))
            coverage << f;
    ASSERT_EQ(coverage.size(), 1) << m.fs.files().join(' ').toStdString();
    // The first loss is written at once; the next within 10 s (the session holds it meanwhile).
    EXPECT_EQ(m.fs.file(coverage[0]), QByteArray("2026-12-08\t0\t500\t0\t0\r\n"));
    for (int i = 0; i < 10; ++i)
        m.housekeeping(0);
    EXPECT_EQ(m.fs.file(coverage[0]), QByteArray("2026-12-08\t10\t503\t0\t0\r\n"));
    // Today's row on the "Log" tab tells of them.
    auto* log = m.find<QTreeWidget>(QStringLiteral("ListView2"));
    ASSERT_TRUE(log != nullptr && log->topLevelItemCount() > 0);
    EXPECT_EQ(log->topLevelItem(0)->data(0, Qt::UserRole).toDate(), QDate(2026, 12, 8));
    EXPECT_EQ(log->topLevelItem(0)->toolTip(0), QStringLiteral("Frames lost by the capture: 503"));
    m.strip->setCurrentIndex(2);
    saveWithTooltip(*m.window, log, QStringLiteral("captureloss_log"));
}

TEST(CaptureLossLine, ANewDayStartsTheDaysCountAndResetsTheRunWithTheStatistics) {
    Main m;
    m.housekeeping(40);
    EXPECT_EQ(m.session().captureLoss().day(), QDate(2026, 12, 8));
    m.clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1)));
    m.capture.droppedFrames = 7;
    m.session().timer2Tick();
    // "Reset statistics at start of new day" is on by default.
    EXPECT_EQ(m.session().captureLoss().day(), QDate(2026, 12, 9));
    EXPECT_EQ(m.session().captureLoss().dayCount(), 7u);
    EXPECT_EQ(m.line->text(), QStringLiteral("Frames lost by the capture: 7"));
}

TEST(StatusLine, SaysWhileNothingIsMonitoredWhy) {
    // Each row a start: which adapter is stored and present, then events; the line on "Bytes".
    struct Step {
        const char* event; // "start", "lost", "back", "dropped"
        const char* text;  // "" = not shown
    };
    struct Case {
        const char* name;
        const char* stored; // "" = none
        bool present;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"NoAdapterChosen", "", true, {{"start", "No adapter selected"}}},
        {"Monitoring", "eth0", true, {{"start", ""}}},
        {"LostAndBack",
         "eth0",
         true,
         {{"start", ""},
          {"lost", "Adapter eth0 lost: waiting for it to come back"},
          {"dropped", "Adapter eth0 lost: waiting for it to come back   "
                      "Frames lost by the capture: 5"},
          {"back", "Frames lost by the capture: 5"}}},
        {"AbsentAtStart",
         "eth0",
         false,
         {{"start", "Adapter eth0 lost: waiting for it to come back"}, {"back", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow m;
        if (*c.stored != '\0')
            m.configureEth0();
        if (!c.present)
            m.capture.setAdapters({});
        m.recoveryMs = 20;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.event);
            const QString e = QString::fromLatin1(step.event);
            if (e == QLatin1String("start")) {
                ASSERT_EQ(m.start(), Form1::StartResult::Running);
                m.window->show();
            } else if (e == QLatin1String("lost")) {
                m.capture.setAdapters({});
                m.capture.fireCaptureAborted();
            } else if (e == QLatin1String("dropped")) {
                m.housekeeping(5);
            } else {
                m.configureEth0();
                ASSERT_TRUE(
                    waitUntil([&] { return m.session().monitoringInProgress(); }, 10000));
            }
            auto* line = m.find<QLabel>(QStringLiteral("lblCaptureLoss"));
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->isVisible(), *step.text != '\0');
            if (*step.text != '\0') {
                EXPECT_EQ(line->text(), QString::fromLatin1(step.text));
            }
        }
    }
}

/// The file of the log folder whose name ends so; empty when there is none.
QString fileEndingIn(const FakeFileSystem& fs, const QString& end) {
    for (const QString& f : fs.files())
        if (f.endsWith(end))
            return f;
    return {};
}

TEST(NotWatched, TrafficBetweenRunsAndWhileTheAdapterWasLostIsBookedToTheDay) {
    MainWindow s;
    // The adapter carried 1,000 bytes in 10 frames before the program started in this boot.
    s.counters.carry(QStringLiteral("eth0"), 1000, 10);
    ASSERT_EQ(s.startOnEth0(), Form1::StartResult::Running);
    const QString coverage = fileEndingIn(s.fs, QStringLiteral("/2026.coverage"));
    ASSERT_FALSE(coverage.isEmpty()) << s.fs.files().join(' ').toStdString();
    EXPECT_EQ(s.fs.file(coverage), QByteArray("2026-12-08\t0\t0\t1000\t10\r\n"));

    // Watched traffic is not booked; 300 bytes in 3 frames while the adapter is lost are.
    s.counters.carry(QStringLiteral("eth0"), 5000, 50);
    s.housekeeping();
    s.capture.fireCaptureAborted();
    ASSERT_FALSE(s.session().monitoringInProgress());
    s.counters.carry(QStringLiteral("eth0"), 300, 3);
    s.session().monitor()->timer3Tick();
    ASSERT_TRUE(s.session().monitoringInProgress());
    EXPECT_EQ(s.fs.file(coverage), QByteArray("2026-12-08\t0\t0\t1300\t13\r\n"));

    // The settings dialog switches to eth1 (4,000 bytes in 40 frames since it came up) and back
    // to eth0, which carried 111 bytes in 3 frames meanwhile; what eth0 carried up to the
    // switch was watched.
    s.counters.carry(QStringLiteral("eth1"), 4000, 40);
    s.counters.carry(QStringLiteral("eth0"), 70, 1);
    auto switchTo = [&](const char* adapter) { // as the settings dialog does
        s.session().settings().gInterfaceToWatch = QString::fromLatin1(adapter);
        s.session().setMonitoringInProgress(false);
        s.session().setMonitoringInProgress(true);
    };
    switchTo("eth1");
    EXPECT_EQ(s.fs.file(coverage), QByteArray("2026-12-08\t0\t0\t5300\t53\r\n"));
    s.counters.carry(QStringLiteral("eth0"), 111, 3);
    s.counters.carry(QStringLiteral("eth1"), 900, 9);
    switchTo("eth0");
    EXPECT_EQ(s.fs.file(coverage), QByteArray("2026-12-08\t0\t0\t5411\t56\r\n"));

    // Traffic watched up to the end is not booked by the next run; what passed between is.
    s.counters.carry(QStringLiteral("eth0"), 20, 1);
    s.window->unload();
    s.window.reset();
    s.counters.carry(QStringLiteral("eth0"), 2310000, 1540);
    ASSERT_EQ(s.start(), Form1::StartResult::Running);
    const QByteArray line = s.fs.file(coverage);
    EXPECT_TRUE(line.startsWith("2026-12-08\t")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("\t0\t2315411\t1596\r\n")) << line.toStdString();
    // Today's row on the "Log" tab says so.
    auto* log = s.find<QTreeWidget>(QStringLiteral("ListView2"));
    ASSERT_TRUE(log != nullptr && log->topLevelItemCount() > 0);
    EXPECT_EQ(log->topLevelItem(0)->toolTip(0),
              perLocale("Not watched: 2.21 M in 1,596 frames while Quelmint was not running",
                        "Not watched: 2,21 M in 1.596 frames while Quelmint was not running"));
    s.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.window.get()));
    s.chooseTab(3);
    saveWithTooltip(*s.window, log, QStringLiteral("notwatched_log"));
}

TEST(CaptureLossLine, TheLongestCountFitsAndAPictureIsKept) {
    Main m;
    m.housekeeping(18446744073709551615ull);
    for (int tab : {1, 2}) {
        m.strip->setCurrentIndex(tab - 1);
        ASSERT_TRUE(m.lineShown());
        QStringList cut;
        for (const QString& c : cutOffTexts(*m.window))
            if (c.startsWith(QStringLiteral("lblCaptureLoss")))
                cut << c;
        EXPECT_TRUE(cut.isEmpty()) << cut.join('\n').toStdString();
    }
    m.strip->setCurrentIndex(0);
    m.session().resetStatistics();
    m.housekeeping(191234);
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    m.window->grab().save(dir + QStringLiteral("/captureloss_bytes%1.png")
                                    .arg(qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                             ? QStringLiteral("_scaled")
                                             : QString()));
}

} // namespace
