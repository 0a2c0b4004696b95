#pragma once

#include "platform/Clock.h"

/// A clock for tests: set and advanced by hand; the tick count wraps at 2^32 like the real one.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(12, 0)),
                       quint32 tick = 1000)
        : now_(std::move(start)), tick_(tick) {}

    quint32 tickCount() const override { return tick_; }
    QDateTime now() const override { return now_; }
    QDate today() const override { return now_.date(); }

    /// Moves the date-time and the tick count forward by ms milliseconds (the tick count wraps).
    void advance(qint64 ms) {
        now_ = now_.addMSecs(ms);
        tick_ = quint32(quint64(tick_) + quint64(ms));
    }
    /// Sets the date-time only (the tick count keeps running on its own, as on a real machine).
    void setNow(const QDateTime& now) { now_ = now; }
    /// Sets the tick count only.
    void setTick(quint32 tick) { tick_ = tick; }

private:
    QDateTime now_;
    quint32 tick_;
};
