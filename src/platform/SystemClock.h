#pragma once

#include "platform/Clock.h"

/// The real clock: CLOCK_MONOTONIC milliseconds cut to 32 bits, and the local date-time.
class SystemClock final : public Clock {
public:
    quint32 tickCount() const override;
    QDateTime now() const override;
    QDate today() const override;
};
