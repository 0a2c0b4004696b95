#pragma once

#include "usage/CoverageLog.h"
#include "usage/UnwatchedTraffic.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <memory>

class FileSystem;
class InterfaceCounters;

/// How completely each day was watched: the seconds monitored, the frames lost by the capture and
/// the IPv6 traffic not counted (CoverageLog), and what the adapter carried while it was not
/// watched (UnwatchedTraffic), both beside the year files. Every call says whether a day's marks on
/// the "Log" tab changed.
class CoverageKeeper final {
    Q_DISABLE_COPY_MOVE(CoverageKeeper)

public:
    /// Works in the usage log's folder; counters null: traffic not watched is not recorded.
    /// Finishes a booking that a killed run left half done.
    CoverageKeeper(FileSystem& fs, InterfaceCounters* counters, const QString& folder);
    /// Writes what is not yet stored.
    ~CoverageKeeper();

    /// Once a second on the accounting day: the time since the last tick counts as monitored
    /// when `monitoring`; `dropped` frames were lost since the last tick; while monitoring, the
    /// adapter's counters are remembered as watched.
    bool tick(const QDateTime& now, const QDate& day, bool monitoring, quint64 dropped);
    /// Monitoring has just started on the adapter: books what it carried while not watched.
    bool monitoringStarted(const QString& adapter, const QDate& day);
    /// Monitoring of the adapter ends now: its counters are remembered as watched.
    bool monitoringStopped(const QDate& day);
    /// IPv6 traffic seen but not counted (the setting off) on the day; stored with the next
    /// tick's writes.
    void ipv6NotCounted(const QDate& day, quint64 bytes, quint64 frames) {
        coverage_.addIpv6NotCounted(day, bytes, frames);
    }

private:
    bool book(const QDate& day, const UnwatchedTraffic::Gap& gap);

    CoverageLog coverage_;
    std::unique_ptr<UnwatchedTraffic> unwatched_;
    QString watchedAdapter_; ///< the adapter monitoring last started on
};
