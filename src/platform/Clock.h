#pragma once

#include <QDate>
#include <QDateTime>
#include <QtGlobal>

/// Time source: a 32-bit millisecond tick count that wraps after 49.7 days, the date-time and today.
class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick counter.
    virtual quint32 tickCount() const = 0;
    /// The current local date-time.
    virtual QDateTime now() const = 0;
    /// Today's local date.
    virtual QDate today() const = 0;
};
