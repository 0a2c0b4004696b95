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
    /// Adds traffic to an adapter (creating it at 0).
    void carry(const QString& adapter, quint64 bytes, quint64 frames) {
        InterfaceCounts& c = adapters[adapter];
        c.rxBytes += bytes;
        c.rxFrames += frames;
    }

    QByteArray boot = "boot-1";
    QMap<QString, InterfaceCounts> adapters;
    mutable int reads = 0;
};
