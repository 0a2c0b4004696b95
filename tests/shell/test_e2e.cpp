// The real program under a virtual display inside a network namespace: it monitors the veth
// named in a prepared settings file, counts datagrams sent from the other namespace, ends on
// SIGTERM in order and leaves its settings, log-on entry and usage figures behind.
#include "support/GraphPixels.h"
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {
constexpr quint16 kPort = 41041;
constexpr int kDatagrams = 150;
constexpr int kPayload = 100;
constexpr int kFrameBytes = 14 + 20 + 8 + kPayload; // Ethernet, IPv4, UDP, data

/// True when the window tree (xwininfo -root -children, topmost first) lists the window named
/// `upper` before the one named `lower`.
bool listedAbove(const QByteArray& tree, const char* upper, const char* lower) {
    const qsizetype u = tree.indexOf('"' + QByteArray(upper) + "\": (");
    const qsizetype l = tree.indexOf('"' + QByteArray(lower) + "\": (");
    return u >= 0 && l >= 0 && u < l;
}

/// Distinct colours of a picture, counted up to 1000.
int colourCount(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 1000; ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

/// The built program copied into a folder of its own, and two namespaces to run it between.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        // Packages xvfb, xauth, imagemagick and x11-utils (xwininfo, xmessage).
        SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "xwininfo", "xmessage");
        run_ = std::make_unique<ProgramRun>(QStringLiteral("e2e"), 41);
        ASSERT_TRUE(run_->ok());
        ASSERT_TRUE(run_->install());
        root = run_->root;
        program = root + QStringLiteral("/bin/quelmint");
    }

    std::unique_ptr<ProgramRun> run_;
    QString root;
    QString program;
};
} // namespace

TEST_F(EndToEnd, MonitorsCountsLogsAndEndsInOrderOnSigterm) {
    const NetnsPair& pair = run_->pair;
    const QDate firstDay = QDate::currentDate();
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());

    // The program lives in a folder of its own, so its "Usage Logs" folder is created there.
    const QString description = QStringLiteral("End-to-end veth ") + pair.nameA();
    ASSERT_TRUE(writeFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"),
                          QStringLiteral("[settings]\nInterface=%1\nInterfaceDesc=%2\n"
                                         "CloseToTray=False\nStartMinimized=False\n"
                                         "DisplayUnit=0\nSpeedUnit=1\nBandwidth=1000\n")
                              .arg(pair.nameA(), description)
                              .toUtf8()));

    // Runs under its own X server: starts the program, takes pictures of its window on
    // request and reports the program's exit code.
    const QString shot = root + QStringLiteral("/main-window.png");
    const QString script =
        QStringLiteral(
            "bin/quelmint > program.log 2>&1 & pid=$!\n"
            "echo $pid > pid\n"
            "while :; do\n"
            "  while [ ! -e shoot ] && [ ! -e second ]; do sleep 0.1;"
            " kill -0 $pid 2>/dev/null || break 2; done\n"
            "  [ -e shoot ] || break\n"
            "  id=$(xwininfo -name Quelmint 2>/dev/null | awk '/Window id/ {print $4}')\n"
            "  [ -n \"$id\" ] && import -window \"$id\" 'png:%1.tmp' >> program.log 2>&1 &&"
            " mv -f '%1.tmp' '%1'\n"
            "  rm -f shoot; touch shot-taken\n"
            "done\n"
            // above A B: window A is stacked above window B (the tree lists the top first).
            "above() { xwininfo -root -children | awk -v a=\"\\\"$1\\\": (\" "
            "-v b=\"\\\"$2\\\": (\" 'index($0, a) && !pa { pa = NR } "
            "index($0, b) && !pb { pb = NR } END { exit !(pa && pb && pa < pb) }'; }\n"
            // Another window covers the first instance's; the second start must bring it
            // forward.
            "xmessage -name qmcover -geometry 600x500+0+0 cover > /dev/null 2>&1 & cover=$!\n"
            "n=0; until above qmcover Quelmint || [ $n -ge 200 ]; do sleep 0.1; n=$((n+1)); done\n"
            "xwininfo -root -children > before-second\n"
            "timeout 20 bin/quelmint > second.log 2>&1; echo $? > second-rc\n"
            "n=0; until above Quelmint qmcover || [ $n -ge 200 ]; do sleep 0.1; n=$((n+1)); done\n"
            "xwininfo -root -children > after.tmp; mv after.tmp after-second\n"
            "kill $cover\n"
            "wait $pid\n"
            "echo $? > rc\n")
            .arg(shot);
    ASSERT_TRUE(run_->start(script));
    QProcess& xvfb = run_->xvfb;

    const pid_t pid = pid_t(run_->pid());
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntilCapturing(pid));

    // Every datagram has been counted once the session file holds them all.
    const QString session = root + QStringLiteral("/bin/Usage Logs/_session.log");
    const int sent = sendAfterTheFirst(pair, kPort, kDatagrams, kPayload, kFrameBytes, session);
    EXPECT_EQ(sent, kDatagrams);
    EXPECT_TRUE(waitUntilReceived(session, double(kDatagrams) * kFrameBytes, 20000))
        << readFile(session).toStdString();
    // The window shows the datagrams: their second's speed, above the full scale of 1000
    // bytes/s, rises as a column in the graph once the next samples are drawn.
    int column = 0;
    EXPECT_TRUE(shootUntil(root, shot,
                           [&](const QImage& picture) {
                               column = longestTraceColumn(picture);
                               return column >= 40;
                           }))
        << "longest column of the trace colour: " << column;
    // A second start hands over to the first and ends at once; the first runs on.
    ASSERT_TRUE(writeFile(root + QStringLiteral("/second"), "1"));
    EXPECT_TRUE(
        waitUntil([&] { return !readFile(root + QStringLiteral("/second-rc")).isEmpty(); }, 25000));
    EXPECT_EQ(readFile(root + QStringLiteral("/second-rc")).trimmed(), QByteArray("0"));
    // The first window was under the other window and came forward.
    const QByteArray before = readFile(root + QStringLiteral("/before-second"));
    EXPECT_TRUE(
        waitUntil([&] { return QFile::exists(root + QStringLiteral("/after-second")); }, 30000));
    const QByteArray after = readFile(root + QStringLiteral("/after-second"));
    EXPECT_TRUE(listedAbove(before, "qmcover", "Quelmint")) << before.toStdString();
    EXPECT_TRUE(listedAbove(after, "Quelmint", "qmcover")) << after.toStdString();
    EXPECT_EQ(::kill(pid, 0), 0) << "the first instance ended";
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_TRUE(waitUntil([&] { return xvfb.state() == QProcess::NotRunning; }, 20000))
        << xvfb.readAll().toStdString();
    if (xvfb.state() != QProcess::NotRunning) {
        QProcess ps;
        ps.start(QStringLiteral("ps"), {QStringLiteral("-ef"), QStringLiteral("--forest")});
        ps.waitForFinished(5000);
        std::printf("still running:\n%s\n", ps.readAll().constData());
        xvfb.kill();
        xvfb.waitForFinished(5000);
    }
    const QByteArray log = readFile(root + QStringLiteral("/program.log"));
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << log.toStdString();

    // The picture of the main window: the whole window, drawn (not one blank colour).
    const QString saved = keepPicture(shot, QStringLiteral("e2e-main-window.png"));
    const QImage picture(shot);
    ASSERT_FALSE(picture.isNull()) << readFile(root + QStringLiteral("/program.log")).toStdString();
    EXPECT_GE(picture.width(), 300);
    EXPECT_GE(picture.height(), 200);
    EXPECT_GE(colourCount(picture), 8);

    // Settings written at the orderly exit.
    const QByteArray settings = readFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"));
    EXPECT_TRUE(settings.contains("Interface=" + pair.nameA().toUtf8())) << settings.toStdString();
    EXPECT_TRUE(settings.contains("ResetStatsAtNewDay=")) << settings.toStdString();
    EXPECT_TRUE(settings.contains("CloseToTray=False")) << settings.toStdString();

    // The log-on entry runs the program in its folder.
    const QByteArray entry = readFile(root + QStringLiteral("/cfg/autostart/Quelmint.desktop"));
    EXPECT_TRUE(entry.contains(program.toUtf8())) << entry.toStdString();

    // The year file holds today's figures: every datagram received, nothing else. Should
    // midnight have passed meanwhile, they may be split over two days (and two years).
    const QDate lastDay = QDate::currentDate();
    QByteArray content;
    for (int year = firstDay.year(); year <= lastDay.year(); ++year)
        content += readFile(root + QStringLiteral("/bin/Usage Logs/%1.log").arg(year));
    const QList<QByteArray> lines = content.trimmed().split('\n');
    if (firstDay == lastDay) {
        EXPECT_EQ(lines.size(), 1) << content.toStdString();
    }
    double sentBytes = 0, receivedBytes = 0, passbyBytes = 0, totalBytes = 0;
    for (const QByteArray& line : lines) {
        const QList<double> f = usageFigures(line);
        ASSERT_EQ(f.size(), 4) << line.toStdString();
        const QDate day =
            QDate::fromString(QString::fromLatin1(line.trimmed().left(10)), Qt::ISODate);
        EXPECT_TRUE(day >= firstDay && day <= lastDay) << line.toStdString();
        sentBytes += f[0];
        receivedBytes += f[1];
        passbyBytes += f[2];
        totalBytes += f[3];
    }
    EXPECT_EQ(receivedBytes, double(kDatagrams) * kFrameBytes);
    EXPECT_EQ(sentBytes, 0);
    EXPECT_EQ(passbyBytes, 0);
    EXPECT_EQ(totalBytes, sentBytes + receivedBytes + passbyBytes);
    EXPECT_FALSE(QFile::exists(root + QStringLiteral("/bin/Usage Logs/_session.log")));
    std::printf("end-to-end: datagrams sent %d, frames counted %g (%g bytes received), "
                "logged total %g bytes; screenshot %s\n",
                sent, receivedBytes / kFrameBytes, receivedBytes, totalBytes,
                saved.toLocal8Bit().constData());
}

TEST_F(EndToEnd, WithoutCapturePrivilegeOneMessageAndTheProgramRunsOn) {
    SKIP_WITHOUT_NETNS("setpriv", "strace", "xdotool", "xprop", "convert");
    ASSERT_TRUE(writeFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"),
                          QStringLiteral("[settings]\nInterface=%1\nInterfaceDesc=veth\n")
                              .arg(run_->pair.nameA())
                              .toUtf8()));
    const QString shot = root + QStringLiteral("/no-privilege.png");
    // The program runs as an unprivileged user, its attempts to open a packet socket traced.
    // Once its box is up and drawn, the windows are counted and pictured; once the box is
    // closed and three more recovery polls have failed the same way, the windows are counted
    // again.
    const QString script =
        QStringLiteral(
            "chown -R 65534:65534 . && chmod -R u+rwX . && chmod 755 '%1'\n"
            "mkdir -p -m 700 run && chown 65534:65534 run\n"
            "strace -f -qq -e trace=socket -o sockets.log "
            "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME='%1' "
            "XDG_CONFIG_HOME='%1/cfg' XDG_RUNTIME_DIR='%1/run' bin/quelmint > program.log 2>&1 &"
            " pid=$!\n"
            "windows() { xwininfo -root -tree | grep -c '(\"quelmint\" \"Quelmint\")'; }\n"
            "attempts() { grep -c 'socket(AF_PACKET.*EPERM' sockets.log; }\n"
            "n=0; until [ \"$(windows)\" -ge 2 ] || [ $n -ge 400 ]; do sleep 0.1; n=$((n+1)); "
            "done\n"
            // The box: the visible window of the program that is transient for another; it may
            // be mapped a moment after its window exists, so it is looked for until it is drawn:
            // its picture holds its icon, text and button, not one colour.
            "findbox() { for w in $(xdotool search --onlyvisible --classname quelmint); do"
            " xprop -id $w WM_TRANSIENT_FOR | grep -q 'window id' && echo $w; done | head -1; }\n"
            "n=0; until box=$(findbox) && [ -n \"$box\" ] &&"
            " import -window $box png:box.png 2>/dev/null &&"
            " [ \"$(convert box.png -format %k info:)\" -ge 8 ] || [ $n -ge 200 ]; do"
            " sleep 0.1; n=$((n+1)); done\n"
            "kill -0 $pid && echo running > state\n"
            "windows > windows\n"
            "import -window root '%2'\n"
            "attempts > attempts-before\n"
            // Return until the box is gone: a key sent while it is still taking focus is lost.
            "n=0; while [ -n \"$box\" ] && [ \"$(windows)\" -ge 2 ] && [ $n -lt 100 ]; do"
            " xdotool windowfocus --sync $box key Return 2>/dev/null; sleep 0.2; n=$((n+1));"
            " done\n"
            "n=0; until [ \"$(attempts)\" -ge $(( $(cat attempts-before) + 3 )) ] ||"
            " [ $n -ge 400 ]; do sleep 0.1; n=$((n+1)); done\n"
            "attempts > attempts-after\n"
            "kill -0 $pid && echo running > state-after\n"
            "windows > windows-after\n"
            "program=$(pgrep -x -u 65534 quelmint | head -1)\n"
            "kill -TERM $program; wait $pid; echo $? > rc\n")
            .arg(root, shot);
    QFile::setPermissions(root, QFile::permissions(root) | QFileDevice::ExeOther |
                                    QFileDevice::ReadOther);
    ASSERT_TRUE(run_->start(script, QStringLiteral("-screen 0 800x600x24 -ac")));
    EXPECT_TRUE(run_->finished(150000));
    const QByteArray log = readFile(root + QStringLiteral("/program.log"));
    EXPECT_EQ(readFile(root + QStringLiteral("/state")).trimmed(), QByteArray("running"));
    // The main window and one message box.
    EXPECT_EQ(readFile(root + QStringLiteral("/windows")).trimmed(), QByteArray("2"))
        << log.toStdString();
    // Polls went on after the box was closed, each failing as the first, and told nothing more.
    const int before = readFile(root + QStringLiteral("/attempts-before")).trimmed().toInt();
    const int after = readFile(root + QStringLiteral("/attempts-after")).trimmed().toInt();
    EXPECT_GE(before, 1);
    EXPECT_GE(after, before + 3) << readFile(root + QStringLiteral("/sockets.log")).toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/state-after")).trimmed(), QByteArray("running"));
    EXPECT_EQ(readFile(root + QStringLiteral("/windows-after")).trimmed(), QByteArray("1"))
        << log.toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << log.toStdString();
    keepPicture(shot, QStringLiteral("e2e-no-privilege.png"));
}
