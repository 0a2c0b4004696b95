#pragma once

#include "platform/InterfaceCounters.h"

#include <QMap>

/// Adapter counters set by the test; an adapter not set is not there.
class FakeInterfaceCounters final : public InterfaceCounters {
public:
    QByteArray bootId() const override { return boot; }
    bool read(const QString& adapter, InterfaceCounts& counts) const override {
        ++reads;
        const auto it = adapters.constFind(adapter);
        if (it == adapters.cend())
            return false;
        counts = *it;
        return true;
    }
    std::optional<qint64> linkSpeedMbps(const QString& adapter) const override {
        const auto it = speeds.constFind(adapter);
        return it == speeds.cend() ? std::nullopt : std::optional<qint64>(*it);
    }
    /// Adds traffic to an adapter (creating it at 0).
    void carry(const QString& adapter, quint64 bytes, quint64 frames) {
        InterfaceCounts& c = adapters[adapter];
        c.rxBytes += bytes;
        c.rxFrames += frames;
    }

    QByteArray boot = "boot-1";
    QMap<QString, InterfaceCounts> adapters;
    /// Link speeds in Mbit/s; an adapter not set has none the kernel knows.
    QMap<QString, qint64> speeds;
    mutable int reads = 0;
};
