#pragma once

#include <QDateTime>
#include <QObject>

class Clock;
class FrameHandler;
class SpeedSampler;
class StatisticsView;
struct DisplayUnits;

/// The statistics shown on the "Bytes" tab: refreshes the labels from the frame handler's
/// counters and resets them. Per-frame updateStats(false) only marks the texts stale; flush()
/// writes them once, at the end of each batch of frames and on every 100 ms tick. The session
/// owns it; the "Bytes" tab registers as its view.
///
/// @code
/// Statistics statistics(clock, frames, &sampler, units);
/// statistics.setView(panel);          // StatisticsView, may stay null
/// // per counted frame: statistics.updateStats(false); per batch and tick: statistics.flush()
/// // "Freeze Display": statistics.setDisplayFrozen(on); on release statistics.updateStats(false)
/// // display unit changed: statistics.updateStats(true)
/// @endcode
class Statistics final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Statistics)

public:
    /// frames and units must outlive this object; sampler may be null.
    Statistics(const Clock& clock, FrameHandler& frames, SpeedSampler* sampler,
               const DisplayUnits& units);

    /// Sets the labels' owner; may be null.
    void setView(StatisticsView* view) { view_ = view; }

    /// force: refresh the stopwatch and the labels now, frozen or not. Otherwise: mark them
    /// stale for the next flush() (cheap, called after every counted frame).
    void updateStats(bool force) {
        if (force)
            refresh(true);
        else
            pending_ = true;
    }
    /// Does a pending refresh: the stopwatch's figures, then the labels unless frozen.
    void flush() {
        if (pending_)
            refresh(false);
    }
    /// True while a refresh is pending.
    bool pending() const { return pending_; }

    /// Zeroes the counters and the packet count, restarts the duration, shows zeros whatever
    /// the freeze says and empties the speed window. (The session empties the packet list and
    /// the run's frames lost right after.)
    void resetStatistics();
    /// lblDuration = the time since the last reset.
    void updateDuration();
    /// lblAvgSpeed = text.
    void showAverage(const QString& text);

    /// "Freeze Display": the labels, the current speed and the average are no longer refreshed.
    void setDisplayFrozen(bool frozen);
    /// True while frozen.
    bool displayFrozen() const { return displayFrozen_; }

    /// Date-time of the last reset.
    QDateTime statsStartTime() const { return statsStartTime_; }

signals:
    /// A refresh begins: the stopwatch window refreshes its own figures (frozen or not).
    void refreshing();

private:
    void refresh(bool force);
    void showCounters();

    const Clock& clock_;
    FrameHandler& frames_;
    SpeedSampler* sampler_;
    const DisplayUnits& units_;
    StatisticsView* view_ = nullptr;
    QDateTime statsStartTime_;
    bool displayFrozen_ = false;
    bool pending_ = false;
};
