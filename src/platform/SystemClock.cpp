#include "platform/SystemClock.h"

#include <ctime>

quint32 SystemClock::tickCount() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const quint64 ms = quint64(ts.tv_sec) * 1000u + quint64(ts.tv_nsec) / 1000000u;
    return quint32(ms); // wraps like the system tick counter
}

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

QDate SystemClock::today() const { return QDate::currentDate(); }
