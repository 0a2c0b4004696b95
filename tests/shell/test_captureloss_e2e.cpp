// The real program under a virtual display inside a network namespace is stopped (SIGSTOP)
// for three seconds while a flood arrives: the kernel drops what does not fit in its capture
// buffer, the program then reports those frames, and the coverage file holds
// them. Needs root (skips without); run under flock /tmp/qm-live.lock.
#include "ShellTestSupport.h"
#include "support/TestFiles.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {
constexpr quint16 kPort = 41142;
constexpr int kPayload = 1000;
constexpr int kFrameBytes = 14 + 20 + 8 + kPayload; // Ethernet, IPv4, UDP, data
// About 60 MB: more than the program's 32 MiB capture buffer holds.
constexpr int kFlood = 60000;

/// Received bytes in a usage line (date, sent, received, pass-by, total); -1 if none.
double received(const QByteArray& line) {
    const QList<QByteArray> f = line.trimmed().split('\t');
    return f.size() == 5 ? f[2].toDouble() : -1;
}

/// Dark (text) pixels inside the status frame of a picture of the main window on "Bytes": the
/// frame's inside spans 58 to 43 pixels above the window's bottom and is empty until a line
/// is shown there.
int statusFrameTextPixels(const QImage& image) {
    int n = 0;
    for (int y = image.height() - 58; y <= image.height() - 43; ++y)
        for (int x = 8; x < image.width() - 40; ++x)
            n += y >= 0 && qGray(image.pixel(x, y)) < 96 ? 1 : 0;
    return n;
}
} // namespace

TEST(CaptureLossEndToEnd, AStoppedProgramReportsTheFramesTheKernelDroppedAndKeepsThem) {
    ensureApplication();
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "xwininfo");
    const QString buildDir = qEnvironmentVariable("QUELMINT_BUILD_DIR");
    NetnsPair pair(QStringLiteral("nle"), 141);
    ASSERT_TRUE(pair.ok());
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    ASSERT_TRUE(installProgram(root, pair.nameA(), QStringLiteral("DisplayUnit=0\nSpeedUnit=1\n")));
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());

    const QString shot = root + QStringLiteral("/bytes-tab.png");
    const QString script =
        QStringLiteral(
            "cd '%1'\n"
            "bin/quelmint > program.log 2>&1 & pid=$!\n"
            "echo $pid > pid\n"
            // A picture of the window on each request, until the program ends.
            "while kill -0 $pid 2>/dev/null; do\n"
            "  [ -e shoot ] || { sleep 0.1; continue; }\n"
            "  id=$(xwininfo -name Quelmint 2>/dev/null | awk '/Window id/ {print $4}')\n"
            "  [ -n \"$id\" ] && import -window \"$id\" 'png:%2.tmp' >> program.log 2>&1 &&"
            " mv -f '%2.tmp' '%2'\n"
            "  rm -f shoot; touch shot-taken\n"
            "done\n"
            "wait $pid\n"
            "echo $? > rc\n")
            .arg(root, shot);
    ASSERT_TRUE(writeFile(root + QStringLiteral("/run.sh"), script.toUtf8()));
    QProcess xvfb;
    ASSERT_TRUE(
        startScriptUnderXvfb(xvfb, pair.nsA(), root, QStringLiteral("-screen 0 800x600x24")));
    ASSERT_TRUE(
        waitUntil([&] { return !readFile(root + QStringLiteral("/pid")).isEmpty(); }, 15000));
    const pid_t pid = readFile(root + QStringLiteral("/pid")).trimmed().toInt();
    ASSERT_GT(pid, 0);
    // Whatever fails below, the program does not outlive the test (it would hold the lock the
    // live tests share, inherited from ctest).
    struct EndProgram {
        pid_t pid;
        QProcess& xvfb;
        ~EndProgram() {
            ::kill(pid, SIGCONT);
            ::kill(pid, SIGKILL);
            xvfb.waitForFinished(10000);
        }
    } endProgram{pid, xvfb};
    ASSERT_TRUE(waitUntilCapturing(pid));

    // The first datagram resolves the neighbour and shows that capture runs.
    const QString logs = root + QStringLiteral("/bin/Usage Logs");
    const QString session = logs + QStringLiteral("/_session.log");
    ASSERT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 1, kPayload), 1);
    ASSERT_TRUE(waitUntil([&] { return received(readFile(session)) >= kFrameBytes; }, 20000));
    auto kernelCount = [&](const char* counter) {
        QByteArray out;
        pair.runInA({"cat", QStringLiteral("/sys/class/net/%1/statistics/%2")
                                .arg(pair.nameA(), QLatin1String(counter))},
                    10000, &out);
        return out.trimmed().toLongLong();
    };
    const qint64 rx0 = kernelCount("rx_packets"), tx0 = kernelCount("tx_packets");

    // Three seconds stopped while the flood arrives.
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    QElapsedTimer stopped;
    stopped.start();
    const int sent = sendUdpFrom(pair.nsB(), pair.addressA(), kPort, kFlood, kPayload);
    if (stopped.elapsed() < 3000)
        QThread::msleep(3000 - stopped.elapsed());
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    const qint64 rxDelta = kernelCount("rx_packets") - rx0;
    const qint64 txDelta = kernelCount("tx_packets") - tx0;

    // Counted frames and lost frames together account for what the kernel received.
    auto counted = [&] { return qint64(received(readFile(session)) / kFrameBytes) - 1; };
    EXPECT_TRUE(waitUntil(
        [&] {
            const qint64 lost = coverageSum(logs, 2);
            return lost > 0 && counted() + lost >= rxDelta - 8;
        },
        60000))
        << coverageSum(logs, 2);
    // The window shows the line in its status frame.
    int text = 0;
    EXPECT_TRUE(shootUntil(root, shot,
                           [&](const QImage& picture) {
                               text = statusFrameTextPixels(picture);
                               return text >= 30;
                           }))
        << "dark pixels in the status frame: " << text;
    const qint64 countedFlood = counted();
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_TRUE(waitUntil([&] { return xvfb.state() == QProcess::NotRunning; }, 30000));
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.kill();
        xvfb.waitForFinished(5000);
    }
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << readFile(root + QStringLiteral("/program.log")).toStdString();

    const qint64 lost = coverageSum(logs, 2);
    const QString artifacts = buildDir + QStringLiteral("/artifacts");
    QDir().mkpath(artifacts);
    QFile::remove(artifacts + QStringLiteral("/captureloss-e2e-bytes.png"));
    QFile::copy(shot, artifacts + QStringLiteral("/captureloss-e2e-bytes.png"));
    std::printf("[ figures ] stopped 3 s: sent %d, kernel rx %lld tx %lld, counted %lld, "
                "lost (coverage) %lld\n",
                sent, (long long)rxDelta, (long long)txDelta, (long long)countedFlood,
                (long long)lost);
    EXPECT_GT(lost, 0);
    // What the kernel received and the program did not count is what it reported lost, give
    // or take a few frames that are not IPv4 (neighbour discovery) and its own few replies.
    const qint64 unexplained = rxDelta - countedFlood - lost;
    EXPECT_GE(unexplained, -txDelta);
    EXPECT_LE(unexplained, 8);
}
