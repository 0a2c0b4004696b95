// The kernel's adapter counters read from sysfs: a tree of the test's own, and this machine's.
#include "platform/SysfsInterfaceCounters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void put(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

TEST(SysfsInterfaceCounters, ReadsTheFourCountersOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString net = dir.path() + QStringLiteral("/net");
    const struct {
        const char* adapter;
        const char* rxBytes; // null: the file is missing
        bool ok;
        quint64 expectedRxBytes;
    } cases[] = {
        {"eth0", "123456789012\n", true, 123456789012ull},
        {"eth1", "18446744073709551615\n", true, 18446744073709551615ull},
        {"eth2", nullptr, false, 0},
        {"eth3", "12a\n", false, 0},
        {"eth4", "-1\n", false, 0},
        {"eth5", "\n", false, 0},
        {"eth6", "18446744073709551616\n", false, 0}, // beyond 64 bits
    };
    for (const auto& c : cases) {
        const QString stats = net + QLatin1Char('/') + c.adapter + QStringLiteral("/statistics/");
        if (c.rxBytes != nullptr)
            put(stats + QStringLiteral("rx_bytes"), c.rxBytes);
        put(stats + QStringLiteral("tx_bytes"), "77\n");
        put(stats + QStringLiteral("rx_packets"), "5\n");
        put(stats + QStringLiteral("tx_packets"), "1\n");
        if (QByteArray(c.adapter) != "eth1") // an adapter without an index is read all the same
            put(net + QLatin1Char('/') + c.adapter + QStringLiteral("/ifindex"), "12\n");
    }
    const SysfsInterfaceCounters counters(net, dir.path() + QStringLiteral("/boot_id"));
    for (const auto& c : cases) {
        InterfaceCounts got{1, 1, 1, 1, 1};
        EXPECT_EQ(counters.read(QString::fromLatin1(c.adapter), got), c.ok) << c.adapter;
        const InterfaceCounts expected =
            c.ok ? InterfaceCounts{QByteArray(c.adapter) == "eth1" ? 0u : 12u, c.expectedRxBytes,
                                   77, 5, 1}
                 : InterfaceCounts{1, 1, 1, 1, 1};
        EXPECT_EQ(got, expected) << c.adapter;
    }
    // Names that would reach outside the folder are not adapters.
    put(dir.path() + QStringLiteral("/statistics/rx_bytes"), "1\n");
    for (const char* name : {"", ".", "..", "../net/eth0", "eth0/../eth0"}) {
        InterfaceCounts got;
        EXPECT_FALSE(counters.read(QString::fromLatin1(name), got)) << name;
    }
    EXPECT_TRUE(counters.bootId().isEmpty()) << "no boot file";
    put(dir.path() + QStringLiteral("/boot_id"), "0b6c7c0e-41f4-4a3a-9f0e-2f5d8c1e7a11\n");
    EXPECT_EQ(counters.bootId(), QByteArray("0b6c7c0e-41f4-4a3a-9f0e-2f5d8c1e7a11"));
}

TEST(SysfsInterfaceCounters, LinkSpeedWhenTheKernelKnowsIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString net = dir.path() + QStringLiteral("/net");
    const struct {
        const char* adapter;
        const char* speed; // null: the file is missing (or cannot be read: link down)
        qint64 mbps;       // 0: unknown
    } cases[] = {
        {"eth0", "1000\n", 1000},   {"eth1", "10000\n", 10000}, {"eth2", "-1\n", 0},
        {"eth3", "4294967295\n", 0}, {"eth4", nullptr, 0},       {"eth5", "fast\n", 0},
        {"eth6", "0\n", 0},         {"eth7", "2500", 2500},
    };
    for (const auto& c : cases)
        if (c.speed != nullptr)
            put(net + QLatin1Char('/') + c.adapter + QStringLiteral("/speed"), c.speed);
    const SysfsInterfaceCounters counters(net, dir.path() + QStringLiteral("/boot_id"));
    for (const auto& c : cases) {
        const std::optional<qint64> got = counters.linkSpeedMbps(QString::fromLatin1(c.adapter));
        EXPECT_EQ(got.value_or(0), c.mbps) << c.adapter;
    }
    EXPECT_FALSE(counters.linkSpeedMbps(QStringLiteral("../net/eth0")));
}

TEST(SysfsInterfaceCounters, ThisMachinesLoopbackAndBoot) {
    const SysfsInterfaceCounters counters;
    EXPECT_EQ(counters.bootId().size(), 36) << counters.bootId().toStdString();
    InterfaceCounts lo;
    EXPECT_TRUE(counters.read(QStringLiteral("lo"), lo));
    EXPECT_EQ(lo.index, 1u) << "the loopback adapter is always the first";
    InterfaceCounts none;
    EXPECT_FALSE(counters.read(QStringLiteral("qm-no-such-adapter"), none));
}

} // namespace
