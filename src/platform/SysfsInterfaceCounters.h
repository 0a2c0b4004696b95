#pragma once

#include "platform/InterfaceCounters.h"

/// The Linux kernel's adapter counters from /sys/class/net/<adapter>/statistics (its index from
/// ifindex, its link speed from speed), the boot from /proc/sys/kernel/random/boot_id. The paths
/// can be moved for tests.
class SysfsInterfaceCounters final : public InterfaceCounters {
public:
    explicit SysfsInterfaceCounters(
        QString netClassFolder = QStringLiteral("/sys/class/net"),
        QString bootIdFile = QStringLiteral("/proc/sys/kernel/random/boot_id"));

    QByteArray bootId() const override;
    bool read(const QString& adapter, InterfaceCounts& counts) const override;
    std::optional<qint64> linkSpeedMbps(const QString& adapter) const override;

private:
    QString netClassFolder_;
    QString bootIdFile_;
};
