// Pictures of the stopwatch and about windows on a real X server (Xvfb), at 96 dpi, at 1.5
// times the scale and at 144 dpi, kept in the build's artifacts folder for people to look at. The
// test runs itself again under xvfb-run; the inner run draws and checks the windows.
#include "support/RealProgram.h"

#include "platform/fakes/FakeBrowser.h"
#include "platform/fakes/FakeClock.h"
#include "shell/frmAbout.h"
#include "shell/frmStopWatch.h"
#include "speed/Format.h"
#include "support/Skip.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace {
const char* const kInner = "QUELMINT_PICTURES_INNER";

QString artifacts() {
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    return dir;
}

/// How many pixels of the picture have exactly this colour.
int count(const QImage& image, const QColor& colour) {
    int n = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            if (rgb.pixelColor(x, y) == colour)
                ++n;
    return n;
}

/// The window as the X server shows it, saved under the artifacts folder.
QImage shoot(QWidget& window, const QString& name) {
    window.show();
    window.raise();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Shown once the screen holds what the window draws.
    QScreen* screen = window.screen();
    QImage shot;
    EXPECT_TRUE(waitUntil(
        [&] {
            shot =
                screen->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
            return shot == window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        },
        15000))
        << name.toStdString() << " never appeared on the screen as drawn";
    const QString file = artifacts() + QLatin1Char('/') + name + qEnvironmentVariable(kInner) +
                         QStringLiteral(".png");
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
    std::printf("picture: %s (%dx%d)\n", qPrintable(file), shot.width(), shot.height());
    return shot;
}
} // namespace

TEST(WindowPictures, UnderXvfbAtTwoScales) {
    ensureApplication();
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        SKIP_OR_FAIL("xvfb-run is missing (Debian package xvfb)");
    struct Case {
        const char* suffix;
        const char* scale;
        const char* dpi;
    };
    const Case cases[] = {{"", "1", "96"}, {"-scaled", "1.5", "96"}, {"-144dpi", "1", "144"}};
    for (const Case& c : cases) {
        QByteArray out;
        EXPECT_EQ(
            runSelfUnderXvfb(QStringLiteral("WindowPictures.DISABLED_Draw*"), &out,
                             {QStringLiteral("QT_SCALE_FACTOR=") + QLatin1String(c.scale),
                              QStringLiteral("QT_FONT_DPI=") + QLatin1String(c.dpi),
                              QLatin1String(kInner) + u'=' + QLatin1String(c.suffix)},
                             QStringLiteral("-screen 0 1024x768x24 -dpi ") + QLatin1String(c.dpi)),
            0)
            << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 2 tests")) << out.toStdString();
        for (const char* name : {"stopwatch-window", "about-window"})
            EXPECT_TRUE(QFile::exists(artifacts() + QLatin1Char('/') + QString::fromLatin1(name) +
                                      QString::fromLatin1(c.suffix) + QStringLiteral(".png")))
                << name << c.suffix;
    }
}

// Run only by the test above, inside its virtual display.
TEST(WindowPictures, DISABLED_DrawStopwatch) {
    ensureApplication();
    FakeClock clock;
    TrafficCounters counters;
    const DisplayUnits units;
    frmStopWatch window(clock, counters, units);
    window.setTopmost(true);
    window.openFromMainWindow();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    window.Timer1.stop(); // the fake clock is driven by hand
    // Some seconds of traffic in all three directions.
    for (int i = 0; i < 83; ++i) {
        counters.add(Direction::Download, 150000, 142000, 8000);
        counters.add(Direction::Upload, 9000, 6000, 3000);
        counters.add(Direction::Passby, 1200, 1000, 200);
        clock.advance(100);
        window.stopwatch().tick();
    }
    window.updateStopwatchStats();
    const QImage shot = shoot(window, QStringLiteral("stopwatch-window"));
    // The animation picture's hand is on screen.
    EXPECT_GT(count(shot, QColor(0xC0, 0x00, 0x00)), 4);
    EXPECT_EQ(
        window.findChild<QLabel*>(QStringLiteral("lblTransfer0"))->text(),
        QStringLiteral("11.87 M ").replace(QLatin1Char('.'), QLocale::system().decimalPoint()));
}

// Run only by the test above, inside its virtual display.
TEST(WindowPictures, DISABLED_DrawAbout) {
    ensureApplication();
    FakeBrowser browser;
    frmAbout about(&browser);
    const QImage shot = shoot(about, QStringLiteral("about-window"));
    // The program's picture is on screen: its green columns.
    EXPECT_GT(count(shot, QColor(0x2E, 0xC0, 0x4E)), 100);
}
