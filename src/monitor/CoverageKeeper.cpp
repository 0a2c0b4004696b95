#include "monitor/CoverageKeeper.h"

CoverageKeeper::CoverageKeeper(FileSystem& fs, InterfaceCounters* counters, const QString& folder)
    : coverage_(fs, folder) {
    if (counters != nullptr) {
        unwatched_ = std::make_unique<UnwatchedTraffic>(fs, *counters, folder);
        unwatched_->finishBooking(coverage_); // one a killed run left half done
    }
}

CoverageKeeper::~CoverageKeeper() = default;

bool CoverageKeeper::tick(const QDateTime& now, const QDate& day, bool monitoring,
                          quint64 dropped) {
    coverage_.tick(now, day, monitoring, dropped);
    bool marked = dropped > 0; // today's row says so at once
    if (unwatched_ && monitoring && !watchedAdapter_.isEmpty())
        marked = book(day, unwatched_->watched(watchedAdapter_)) || marked;
    return marked;
}

bool CoverageKeeper::monitoringStarted(const QString& adapter, const QDate& day) {
    if (!unwatched_)
        return false;
    watchedAdapter_ = adapter;
    return book(day, unwatched_->monitoringStarts(watchedAdapter_));
}

bool CoverageKeeper::monitoringStopped(const QDate& day) {
    // The last moment the adapter was watched (a lost one may no longer be read: then the last
    // tick's counters stand).
    if (!unwatched_ || watchedAdapter_.isEmpty())
        return false;
    return book(day, unwatched_->watched(watchedAdapter_));
}

bool CoverageKeeper::book(const QDate& day, const UnwatchedTraffic::Gap& gap) {
    return unwatched_->bookInto(coverage_, day, gap);
}
