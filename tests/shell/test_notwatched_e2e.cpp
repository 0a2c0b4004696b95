// The real program under a virtual display inside a network namespace: traffic that passes
// between two runs in one boot, while its adapter is gone and re-created, and while the same
// adapter was down and up again without its address, shows in the coverage file as bytes and
// frames not watched, equal to the kernel's own counters. Needs root
// (skips without); run under flock /tmp/qm-live.lock.
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {
constexpr quint16 kPort = 41171;
constexpr int kPayload = 1000;

/// Bytes and frames not watched.
struct NotWatched {
    qint64 bytes = -1;
    qint64 frames = -1;
    bool operator==(const NotWatched&) const = default;
};

/// What the coverage files of the log folder hold as not watched, over all days.
NotWatched notWatched(const QString& logFolder) {
    return {coverageSum(logFolder, 3), coverageSum(logFolder, 4)};
}

/// The kernel's counters of the namespace's adapter: bytes and frames, both directions summed.
NotWatched kernelCounters(const NetnsPair& pair) {
    NotWatched sum{0, 0};
    for (const char* counter : {"rx_bytes", "tx_bytes", "rx_packets", "tx_packets"}) {
        QByteArray out;
        if (pair.runInA({"cat", QStringLiteral("/sys/class/net/%1/statistics/%2")
                                    .arg(pair.nameA(), QLatin1String(counter))},
                        10000, &out) != 0)
            return {};
        (QByteArray(counter).endsWith("bytes") ? sum.bytes : sum.frames) +=
            out.trimmed().toLongLong();
    }
    return sum;
}

/// The counters once they have stopped moving (neighbour traffic settled).
NotWatched settledCounters(const NetnsPair& pair) {
    NotWatched last = kernelCounters(pair);
    for (int i = 0; i < 40; ++i) {
        spin(500);
        const NotWatched now = kernelCounters(pair);
        if (now == last)
            return now;
        last = now;
    }
    return last;
}

/// Sets IPv6 off in both namespaces (for adapters made from now on too), so that nothing but
/// the test's own traffic moves the counters.
void quietIpv6(const NetnsPair& pair) {
    for (const char* conf : {"all", "default"})
        for (const QString& ns : {pair.nsA(), pair.nsB()})
            QProcess::execute(QStringLiteral("ip"),
                              {"netns", "exec", ns, "sysctl", "-q", "-w",
                               QStringLiteral("net.ipv6.conf.%1.disable_ipv6=1").arg(conf)});
}

/// The coverage files' lines, for messages.
std::string coverageText(const QString& logFolder) {
    QByteArray all;
    for (const QString& name :
         QDir(logFolder).entryList({QStringLiteral("*.coverage")}, QDir::Files))
        all += readFile(logFolder + QLatin1Char('/') + name);
    return all.trimmed().toStdString();
}

NotWatched operator+(const NotWatched& a, const NotWatched& b) {
    return {a.bytes + b.bytes, a.frames + b.frames};
}
NotWatched operator-(const NotWatched& a, const NotWatched& b) {
    return {a.bytes - b.bytes, a.frames - b.frames};
}
} // namespace

TEST(NotWatchedEndToEnd, TrafficBetweenRunsAndWhileTheAdapterWasLostEqualsTheKernelCounters) {
    ensureApplication();
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "sysctl");
    ProgramRun run(QStringLiteral("nw"), 171);
    ASSERT_TRUE(run.ok());
    NetnsPair& pair = run.pair;
    const QString& root = run.root;
    quietIpv6(pair);
    ASSERT_TRUE(run.install());
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());
    // Before the first start in this boot the adapter carries 40 datagrams (and the neighbour
    // resolution): not watched, since it came up.
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 40, kPayload), 40);
    const NotWatched beforeRun1 = settledCounters(pair);
    EXPECT_GE(beforeRun1.frames, 40);

    // Two runs of the program on one display; the second starts when the test says so.
    ASSERT_TRUE(run.start(QStringLiteral("bin/quelmint > program1.log 2>&1 & pid=$!\n"
                                         "echo $pid > pid1\n"
                                         "wait $pid; echo $? > rc1\n"
                                         "while [ ! -e go ]; do sleep 0.1; done\n"
                                         "bin/quelmint > program2.log 2>&1 & pid=$!\n"
                                         "echo $pid > pid2\n"
                                         "wait $pid; echo $? > rc2\n")));
    const auto release = qScopeGuard([&] { writeFile(root + QStringLiteral("/go"), "1"); });
    const QString logs = root + QStringLiteral("/bin/Usage Logs");

    // Run 1 starts.
    const int pid1 = int(run.pid(QStringLiteral("pid1")));
    ASSERT_GT(pid1, 0);
    ASSERT_TRUE(waitUntilCapturing(pid1));
    EXPECT_TRUE(waitUntil([&] { return notWatched(logs) == beforeRun1; }, 20000))
        << coverageText(logs);
    // Watched traffic, then an orderly end.
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 50, kPayload), 50);
    spin(1500); // the program's housekeeping ticks while the traffic is watched
    ASSERT_EQ(::kill(pid1, SIGTERM), 0);
    ASSERT_TRUE(
        waitUntil([&] { return !readFile(root + QStringLiteral("/rc1")).isEmpty(); }, 30000));
    EXPECT_EQ(readFile(root + QStringLiteral("/rc1")).trimmed(), QByteArray("0"));
    const NotWatched afterRun1 = settledCounters(pair);

    // Between the runs: 300 datagrams nobody watches.
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 300, kPayload), 300);
    const NotWatched beforeRun2 = settledCounters(pair);
    const NotWatched between = beforeRun2 - afterRun1;
    EXPECT_GE(between.frames, 300);
    ASSERT_TRUE(writeFile(root + QStringLiteral("/go"), "1"));
    const int pid2 = int(run.pid(QStringLiteral("pid2")));
    ASSERT_GT(pid2, 0);
    ASSERT_TRUE(waitUntilCapturing(pid2));
    EXPECT_TRUE(waitUntil([&] { return notWatched(logs) == beforeRun1 + between; }, 20000))
        << "expected " << (beforeRun1 + between).bytes << " bytes, file " << coverageText(logs);

    // The adapter goes away while the program watches it; a new one of the same name comes up
    // without an address (so the program cannot take it yet) and receives 120 datagrams.
    ASSERT_TRUE(pair.deleteVeth());
    const QString packetSockets = QStringLiteral("/proc/%1/net/packet").arg(pid2);
    EXPECT_TRUE(waitUntil([&] { return readFile(packetSockets).count('\n') < 2; }, 20000))
        << "the program still captures";
    ASSERT_TRUE(pair.createVeth(false));
    QByteArray link;
    ASSERT_EQ(pair.runInA({"cat", QStringLiteral("/sys/class/net/%1/address").arg(pair.nameA())},
                          10000, &link),
              0);
    ASSERT_EQ(pair.runInB({"ip", "neigh", "replace", pair.addressA(), "lladdr",
                           QString::fromLatin1(link.trimmed()), "dev", pair.nameB()}),
              0);
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 120, kPayload), 120);
    const NotWatched newAdapter = settledCounters(pair);
    EXPECT_GE(newAdapter.frames, 120);
    // With its address back the recovery poll takes it: everything it carried was not watched.
    ASSERT_TRUE(pair.addAddressA());
    ASSERT_TRUE(waitUntilCapturing(pid2));
    const NotWatched expected = beforeRun1 + between + newAdapter;
    EXPECT_TRUE(waitUntil([&] { return notWatched(logs) == expected; }, 20000))
        << "expected " << expected.bytes << " bytes in " << expected.frames << " frames, file "
        << coverageText(logs);

    // The same adapter goes down (the program loses it) and comes up again without its address;
    // 70 datagrams arrive before the address is back. Watched traffic before the loss is not
    // booked; what came after the loss is, by the difference of the same adapter's counters.
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 20, kPayload), 20);
    spin(1200); // watched, and remembered by a tick
    ASSERT_EQ(pair.runInA({"ip", "addr", "del", pair.addressA() + "/24", "dev", pair.nameA()}), 0);
    ASSERT_EQ(pair.runInA({"ip", "link", "set", pair.nameA(), "down"}), 0);
    EXPECT_TRUE(waitUntil([&] { return readFile(packetSockets).count('\n') < 2; }, 20000))
        << "the program still captures";
    const NotWatched atLoss = settledCounters(pair);
    ASSERT_EQ(pair.runInA({"ip", "link", "set", pair.nameA(), "up"}), 0);
    ASSERT_EQ(pair.runInB({"ip", "neigh", "replace", pair.addressA(), "lladdr",
                           QString::fromLatin1(link.trimmed()), "dev", pair.nameB()}),
              0);
    EXPECT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 70, kPayload), 70);
    const NotWatched whileDown = settledCounters(pair) - atLoss;
    EXPECT_GE(whileDown.frames, 70);
    ASSERT_TRUE(pair.addAddressA());
    ASSERT_TRUE(waitUntilCapturing(pid2));
    const NotWatched all = expected + whileDown;
    EXPECT_TRUE(waitUntil([&] { return notWatched(logs) == all; }, 20000))
        << "expected " << all.bytes << " bytes in " << all.frames << " frames, file "
        << coverageText(logs);

    ASSERT_EQ(::kill(pid2, SIGTERM), 0);
    EXPECT_TRUE(run.finished(30000));
    EXPECT_EQ(readFile(root + QStringLiteral("/rc2")).trimmed(), QByteArray("0"))
        << readFile(root + QStringLiteral("/program2.log")).toStdString();
    std::printf("[ figures ] not watched: before run 1 %lld B in %lld frames; between runs %lld B "
                "in %lld frames; re-created adapter %lld B in %lld frames; adapter down and up "
                "%lld B in %lld frames; coverage line %s\n",
                (long long)beforeRun1.bytes, (long long)beforeRun1.frames, (long long)between.bytes,
                (long long)between.frames, (long long)newAdapter.bytes,
                (long long)newAdapter.frames, (long long)whileDown.bytes,
                (long long)whileDown.frames, coverageText(logs).c_str());
}
