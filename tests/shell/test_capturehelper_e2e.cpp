// The real program run by an unprivileged user (uid 65534) in a network namespace, its capture
// helper granted cap_net_raw as the package grants it: while it captures, neither the window
// nor the helper holds a capability, nor does a platform plugin of the user's own loaded into
// the window; stopped (SIGSTOP) for 10 s during a flood of 200,000 frames a second, it loses
// nothing: afterwards it has counted every frame the kernel received and reports none lost;
// and killed with SIGKILL, its helper ends within a second. Needs root (skips without).
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {
constexpr quint16 kPort = 41143;
constexpr int kFrameBytes = 60; // Ethernet, IPv4, UDP and 18 data bytes
constexpr int kRate = 200000;
constexpr int kStallSeconds = 10;

/// Received bytes in a usage line; -1 if none.
double received(const QByteArray& line) {
    const QList<double> f = usageFigures(line);
    return f.isEmpty() ? -1 : f[1];
}

/// The capability lines of a process's status, by name ("CapPrm" -> "0000000000000000").
QMap<QByteArray, QByteArray> capabilities(const QByteArray& status) {
    QMap<QByteArray, QByteArray> caps;
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith("Cap"))
            caps.insert(line.left(line.indexOf(':')), line.mid(line.indexOf(':') + 1).trimmed());
    return caps;
}

qint64 childOf(qint64 pid) {
    return readFile(QStringLiteral("/proc/%1/task/%1/children").arg(pid)).trimmed().toLongLong();
}

/// True once a process has ended (gone, or a zombie waiting for its new parent).
bool ended(qint64 pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}
} // namespace

TEST(CaptureHelperEndToEnd, TheWindowHoldsNoPrivilegeAStallLosesNothingAndTheHelperEndsWithIt) {
    ensureApplication();
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "xwininfo", "setpriv", "setcap");
    const QString buildDir = qEnvironmentVariable("QUELMINT_BUILD_DIR");
    ProgramRun run(QStringLiteral("nch"), 143);
    ASSERT_TRUE(run.ok());
    NetnsPair& pair = run.pair;
    const QString& root = run.root;
    ASSERT_TRUE(pair.quiet());
    ASSERT_TRUE(run.install(QStringLiteral("DisplayUnit=0\nSpeedUnit=1\n")));
    const QString platforms = root + QStringLiteral("/plugins/platforms");
    ASSERT_TRUE(QDir().mkpath(platforms));
    ASSERT_TRUE(QFile::copy(buildDir + QStringLiteral("/tests/shell/libcapprobe.so"),
                            platforms + QStringLiteral("/libcapprobe.so")));
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());

    const QString shot = root + QStringLiteral("/bytes-tab.png");
    const QString asNobody =
        QStringLiteral("setpriv --reuid=65534 --regid=65534 --clear-groups env HOME='%1' "
                       "XDG_CONFIG_HOME='%1/cfg' XDG_RUNTIME_DIR='%1/run'")
            .arg(root);
    const QString script =
        QStringLiteral(
            "chown -R 65534:65534 . && chmod 755 '%1'\n"
            // Granted as the package grants it (after the change of owner, which would take it
            // away again); the program itself carries nothing.
            "chown root:root bin/quelmint-capture && setcap cap_net_raw=ep bin/quelmint-capture\n"
            // The user's own platform plugin in the window, before the window itself.
            "%2 QT_QPA_PLATFORM_PLUGIN_PATH='%1/plugins/platforms' QT_QPA_PLATFORM=capprobe "
            "QUELMINT_PROBE_OUT='%1/probe.txt' bin/quelmint > probe.log 2>&1\n"
            "%2 bin/quelmint > program.log 2>&1 & pid=$!\n"
            "echo $pid > pid\n")
            .arg(root, asNobody) +
        ProgramRun::shooter(shot);
    QFile::setPermissions(root, QFile::permissions(root) | QFileDevice::ExeOther |
                                    QFileDevice::ReadOther);
    ASSERT_TRUE(run.start(script, QStringLiteral("-screen 0 800x600x24 -ac")));
    const qint64 pid = run.pid();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntilCapturing(pid))
        << readFile(root + QStringLiteral("/program.log")).toStdString()
        << readFile(root + QStringLiteral("/probe.log")).toStdString();

    // No capability anywhere but in the helper's file.
    const qint64 helper = childOf(pid);
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(
        readFile(QStringLiteral("/proc/%1/cmdline").arg(helper)).startsWith("quelmint-capture"));
    const QByteArray none("0000000000000000");
    for (const auto& [who, status] :
         {std::pair{"window", readFile(QStringLiteral("/proc/%1/status").arg(pid))},
          std::pair{"helper", readFile(QStringLiteral("/proc/%1/status").arg(helper))},
          std::pair{"plugin", readFile(root + QStringLiteral("/probe.txt"))}}) {
        SCOPED_TRACE(who);
        const QMap<QByteArray, QByteArray> caps = capabilities(status);
        EXPECT_EQ(caps.value("CapPrm"), none) << status.toStdString();
        EXPECT_EQ(caps.value("CapEff"), none) << status.toStdString();
        EXPECT_EQ(caps.value("CapInh"), none) << status.toStdString();
        EXPECT_EQ(caps.value("CapAmb"), none) << status.toStdString();
    }

    // The first datagram shows that capture runs.
    const QString logs = root + QStringLiteral("/bin/Usage Logs");
    const QString session = logs + QStringLiteral("/_session.log");
    ASSERT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 1, 18), 1);
    ASSERT_TRUE(waitUntil([&] { return received(readFile(session)) >= kFrameBytes; }, 20000));
    auto kernelCount = [&](const char* counter) {
        QByteArray out;
        pair.runInA({"cat", QStringLiteral("/sys/class/net/%1/statistics/%2")
                                .arg(pair.nameA(), QLatin1String(counter))},
                    10000, &out);
        return out.trimmed().toLongLong();
    };
    const qint64 rx0 = kernelCount("rx_packets");
    const qint64 counted0 = qint64(received(readFile(session)) / kFrameBytes);

    // Stopped for the whole flood.
    ASSERT_EQ(::kill(pid_t(pid), SIGSTOP), 0);
    QElapsedTimer stopped;
    stopped.start();
    QByteArray generator;
    pair.runInB({buildDir + QStringLiteral("/bench/quelmint-livegen"), QStringLiteral("--to"),
                 pair.addressA(), QStringLiteral("--port"), QString::number(kPort),
                 QStringLiteral("--rate"), QString::number(kRate), QStringLiteral("--seconds"),
                 QString::number(kStallSeconds)},
                (kStallSeconds + 60) * 1000, &generator);
    if (stopped.elapsed() < kStallSeconds * 1000)
        QThread::msleep(quint64(kStallSeconds * 1000 - stopped.elapsed()));
    const QByteArray held = readFile(QStringLiteral("/proc/%1/status").arg(helper));
    const qint64 stallMs = stopped.elapsed();
    const qint64 rxDelta = kernelCount("rx_packets") - rx0;
    ASSERT_EQ(::kill(pid_t(pid), SIGCONT), 0);

    // Every frame the kernel received is counted, and none is reported lost.
    auto counted = [&] { return qint64(received(readFile(session)) / kFrameBytes) - counted0; };
    EXPECT_TRUE(waitUntil([&] { return counted() >= rxDelta; }, 120000))
        << "counted " << counted() << " of " << rxDelta;
    spin(2500); // a statistics record and a housekeeping tick after the last frame
    EXPECT_EQ(counted(), rxDelta);
    EXPECT_LE(coverageSum(logs, 2), 0) << "frames reported lost";
    EXPECT_TRUE(shootUntil(root, shot, [](const QImage& picture) { return !picture.isNull(); }));
    keepPicture(shot, QStringLiteral("capturehelper-e2e-bytes.png"));
    const auto field = [&](const char* name) {
        for (const QByteArray& line : held.split('\n'))
            if (line.startsWith(name))
                return line.mid(line.indexOf(':') + 1).trimmed().toStdString();
        return std::string("?");
    };
    std::printf("[ figures ] window stopped %lld ms: generator %s, kernel rx %lld, counted %lld, "
                "lost (coverage) %lld; helper at the end of the stall: VmRSS %s, VmHWM %s\n",
                (long long)stallMs, generator.trimmed().constData(), (long long)rxDelta,
                (long long)counted(), (long long)qMax<qint64>(0, coverageSum(logs, 2)),
                field("VmRSS").c_str(), field("VmHWM").c_str());

    // Killed without a chance to clean up: the helper ends within a second.
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    QElapsedTimer killed;
    killed.start();
    EXPECT_TRUE(waitUntil([&] { return ended(helper); }, 1000))
        << "the helper outlived its window by more than a second";
    std::printf("[ figures ] helper ended %lld ms after its window was killed\n",
                (long long)killed.elapsed());
}
