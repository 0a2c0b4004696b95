#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

/// What the operating system has counted on an adapter since it came up: bytes and frames in
/// each direction, whoever sent or received them, and the adapter's index (a re-created adapter
/// gets a new one; 0 when unknown).
struct InterfaceCounts {
    quint64 index = 0;
    quint64 rxBytes = 0;
    quint64 txBytes = 0;
    quint64 rxFrames = 0;
    quint64 txFrames = 0;
    bool operator==(const InterfaceCounts&) const = default;
};

/// The kernel's own counters of the adapters, which boot of the machine they belong to, and the
/// adapters' link speeds.
class InterfaceCounters {
public:
    virtual ~InterfaceCounters() = default;

    /// Names this boot of the machine; empty when it cannot be told. Counters of one boot mean
    /// nothing in another.
    virtual QByteArray bootId() const = 0;
    /// The adapter's counters now; false (counts untouched) when the adapter is not there or
    /// its counters cannot be read.
    virtual bool read(const QString& adapter, InterfaceCounts& counts) const = 0;
    /// The adapter's link speed in megabits per second as the kernel reports it; nullopt when
    /// the kernel does not know it (no link, a virtual adapter without one, no such adapter).
    virtual std::optional<qint64> linkSpeedMbps(const QString& adapter) const = 0;
};
