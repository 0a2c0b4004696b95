// The real program under a virtual X server inside a network namespace: a real click on
// "Ignore UDP" stops UDP from being counted while ICMP still counts, a hovered button shows
// its tooltip, and the orderly end on SIGTERM stores the switch.
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {
constexpr quint16 kPort = 41110;
constexpr int kPayload = 100;
constexpr int kUdpFrame = 14 + 20 + 8 + kPayload; // Ethernet, IPv4, UDP, data
constexpr int kPingFrame = 14 + 20 + 8 + 56;      // ping's default 56 data bytes
constexpr int kPings = 4;

/// Lightness of a pixel of a picture; -1 outside it.
int lightness(const QImage& image, int x, int y) {
    if (!image.valid(x, y))
        return -1;
    return image.pixelColor(x, y).lightness();
}
} // namespace

TEST(ToolbarEndToEnd, IgnoreUdpClickedOnTheRealWindow) {
    ensureApplication();
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "xwininfo", "xprop", "xdotool", "ping");
    ProgramRun run(QStringLiteral("tb"), 110);
    ASSERT_TRUE(run.ok());
    ASSERT_TRUE(run.install());
    const NetnsPair& pair = run.pair;
    const QString& root = run.root;
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());

    // Inside the X server: the program, and a loop that runs the test's X commands.
    ASSERT_TRUE(run.start(QStringLiteral("bin/quelmint > program.log 2>&1 & pid=$!\n"
                                         "echo $pid > pid\n"
                                         "while kill -0 $pid 2>/dev/null; do\n"
                                         "  if [ -e cmd ]; then sh cmd > cmd.out 2>&1; rm -f cmd; "
                                         "touch cmd.done; fi\n"
                                         "  sleep 0.05\n"
                                         "done\n"
                                         "wait $pid\n"
                                         "echo $? > rc\n")));
    // Runs shell commands on the X server's side; returns their output.
    auto x = [&](const QString& commands) -> QByteArray {
        QFile::remove(root + QStringLiteral("/cmd.done"));
        EXPECT_TRUE(writeFile(root + QStringLiteral("/cmd.tmp"), commands.toUtf8()));
        QFile::rename(root + QStringLiteral("/cmd.tmp"), root + QStringLiteral("/cmd"));
        EXPECT_TRUE(
            waitUntil([&] { return QFile::exists(root + QStringLiteral("/cmd.done")); }, 30000))
            << commands.toStdString();
        return readFile(root + QStringLiteral("/cmd.out"));
    };
    const pid_t pid = pid_t(run.pid());
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntilCapturing(pid));

    // UDP counts before the click.
    const QString session = root + QStringLiteral("/bin/Usage Logs/_session.log");
    constexpr int kBefore = 20;
    ASSERT_EQ(sendAfterTheFirst(pair, kPort, kBefore, kPayload, kUdpFrame, session), kBefore);
    ASSERT_TRUE(waitUntilReceived(session, double(kBefore) * kUdpFrame, 20000))
        << readFile(session).toStdString();

    // The window, then a click on "Ignore UDP" (button 1 at 230,2) as the pointer moves in.
    // The main window: the visible "Quelmint" window as wide as the "Bytes" tab (the client
    // leader and the tooltip carry the name too).
    const QString mainWindow =
        QStringLiteral("$(for w in $(xdotool search --onlyvisible --name '^Quelmint$'); do "
                       "xwininfo -id $w | grep -q 'Width: 349$' && echo $w; done | head -1)");
    const QByteArray id = x(QStringLiteral("echo ") + mainWindow).trimmed();
    ASSERT_FALSE(id.isEmpty()) << readFile(root + QStringLiteral("/program.log")).toStdString();
    const QString window = QString::fromLatin1(id);
    x(QStringLiteral("xdotool mousemove --window %1 240 12 sleep 0.1 mousemove --window %1 242 "
                     "14 sleep 0.1 click 1")
          .arg(window));
    // Sunken: shadow on the top row, highlight on the bottom row.
    const QString shot = root + QStringLiteral("/window.png");
    QImage picture;
    EXPECT_TRUE(waitUntil(
        [&] {
            x(QStringLiteral("import -window %1 '%2'").arg(window, shot));
            picture = QImage(shot);
            return lightness(picture, 240, 2) >= 0 &&
                   lightness(picture, 240, 2) < lightness(picture, 240, 25);
        },
        20000))
        << "button 1 never showed sunken";

    // After the click: UDP is ignored, ICMP still counts (both ways).
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 20, kPayload), 20);
    EXPECT_EQ(pair.runInB({QStringLiteral("ping"), QStringLiteral("-c"), QString::number(kPings),
                           QStringLiteral("-i"), QStringLiteral("0.2"), pair.addressA()}),
              0);
    const double expectedReceived = double(kBefore) * kUdpFrame + double(kPings) * kPingFrame;
    const double expectedSent = double(kPings) * kPingFrame;
    EXPECT_TRUE(waitUntil(
        [&] {
            const QList<double> f = usageFigures(readFile(session));
            return f.size() == 4 && f[0] >= expectedSent && f[1] >= expectedReceived;
        },
        20000))
        << readFile(session).toStdString();
    const QList<double> figures = usageFigures(readFile(session));
    ASSERT_EQ(figures.size(), 4);
    EXPECT_EQ(figures[0], expectedSent);
    EXPECT_EQ(figures[1], expectedReceived) << "UDP counted after Ignore UDP";
    EXPECT_EQ(figures[2], 0);

    // Hovering "Ignore ICMP" (button 2 at 255,2) shows its tooltip; a picture of the screen.
    x(QStringLiteral("xdotool mousemove --window %1 265 12 sleep 0.1 mousemove --window %1 266 "
                     "13 sleep 0.1 mousemove --window %1 267 14")
          .arg(window));
    EXPECT_TRUE(waitUntil(
        [&] {
            return x(QStringLiteral("xdotool search --onlyvisible --class quelmint | wc -l"))
                       .trimmed()
                       .toInt() >= 2;
        },
        20000))
        << "no tooltip window";
    const QString screen = root + QStringLiteral("/screen.png");
    x(QStringLiteral("import -window root '%1'").arg(screen));
    const QString saved = keepPicture(screen, QStringLiteral("toolbar-ignore-udp-tooltip.png"));

    // A press on "Ignore TCP" (button 0 at 205,2) dragged out and back in shows pressed
    // again; released outside, it is cancelled (DisplayTCP stays True below).
    auto look = [&](int left) {
        x(QStringLiteral("import -window %1 '%2'").arg(window, shot));
        picture = QImage(shot);
        return lightness(picture, left + 10, 25) - lightness(picture, left + 10, 2);
    };
    x(QStringLiteral("xdotool mousemove --window %1 215 12 sleep 0.1 mousemove --window %1 217 "
                     "14 sleep 0.1 mousedown 1 sleep 0.1 mousemove --window %1 217 60 sleep 0.1 "
                     "mousemove --window %1 217 61 sleep 0.1 mousemove --window %1 216 13 sleep "
                     "0.1 mousemove --window %1 217 14")
          .arg(window));
    EXPECT_TRUE(waitUntil([&] { return look(205) > 0; }, 20000)) << "not pressed again";
    x(QStringLiteral("xdotool mousemove --window %1 217 60 sleep 0.1 mousemove --window %1 217 "
                     "61 sleep 0.1 mouseup 1")
          .arg(window));
    EXPECT_TRUE(waitUntil([&] { return look(205) == 0; }, 20000)) << "not flat after cancel";

    // "Always on top" (button 4 at 311,2): the window asks to stay above others and keeps
    // its place and its visibility.
    auto geometry = [&] {
        return x(QStringLiteral("xwininfo -id %1 | grep -E 'Absolute|Width|Height|Map State'")
                     .arg(mainWindow));
    };
    const QByteArray placeBefore = geometry();
    x(QStringLiteral("xdotool mousemove --window %1 321 12 sleep 0.1 mousemove --window %1 322 "
                     "13 sleep 0.1 mousemove --window %1 323 14 sleep 0.1 click 1")
          .arg(window));
    auto state = [&] { return x(QStringLiteral("xprop -id %1 _NET_WM_STATE").arg(mainWindow)); };
    EXPECT_TRUE(waitUntil([&] { return state().contains("_NET_WM_STATE_ABOVE"); }, 20000))
        << state().toStdString();
    EXPECT_TRUE(waitUntil([&] { return geometry() == placeBefore; }, 20000))
        << placeBefore.toStdString() << " became " << geometry().toStdString();
    EXPECT_TRUE(placeBefore.contains("IsViewable")) << placeBefore.toStdString();

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_TRUE(run.finished(30000)) << run.xvfb.readAll().toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << readFile(root + QStringLiteral("/program.log")).toStdString();
    const QByteArray settings = readFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"));
    EXPECT_TRUE(settings.contains("DisplayUDP=False")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("DisplayTCP=True")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("DisplayICMP=True")) << settings.toStdString();
    std::printf("toolbar end-to-end: received %g bytes, sent %g; screenshot %s\n", figures[1],
                figures[0], saved.toLocal8Bit().constData());
}
