#pragma once

#include <QDateTime>

#include <functional>

class Clock;
class FrameHandler;
class SpeedSampler;
class StatisticsView;

/// The statistics shown on the "Bytes" tab: refreshes the labels from the frame handler's
/// counters and resets them. Per-frame updateStats(false) only marks the texts stale; flush()
/// writes them once, at the end of each batch of frames and on every 100 ms tick.
///
/// Wiring in the main window (with FrameHandler frames, SpeedSampler sampler, StatsPanel* panel):
/// @code
/// Statistics statistics(clock, frames, &sampler);
/// statistics.setView(panel);
/// statistics.updateStopwatchStats = [&] { stopwatchWindow->updateStopwatchStats(); };
/// statistics.clearPacketList = [&] { connectionList.clear(); };
/// frames.updateStats = [&](bool force) { statistics.updateStats(force); };
/// frames.batchEnd = [&] { statistics.flush(); }; // and other per-batch refreshes
/// sampler.showAverage = [&](const QString& t) { panel->setAvgSpeedText(t); };
/// connect(panel, &StatsPanel::resetClicked, [&] {
///     statistics.resetStatistics();
///     TabStrip1->setFocus();
/// });
/// // Timer1 (100 ms): sampler.tick(); statistics.flush();
/// // Timer2 (1 s): day check; statistics.updateDuration(); ScavengeList
/// // "Freeze Display": statistics.setDisplayFrozen(on); on release statistics.updateStats(false)
/// // Settings OK after storing the display unit: statistics.updateStats(true)
/// // Start-up: statistics.resetStatistics()
/// @endcode
class Statistics final {
    Q_DISABLE_COPY_MOVE(Statistics)

public:
    /// frames must outlive this object; sampler may be null.
    Statistics(const Clock& clock, FrameHandler& frames, SpeedSampler* sampler);

    /// Sets the labels' owner; may be null.
    void setView(StatisticsView* view) { view_ = view; }

    /// force: refresh the stopwatch and the labels now, frozen or not. Otherwise: mark them
    /// stale for the next flush() (cheap, called after every counted frame).
    void updateStats(bool force);
    /// Does a pending refresh: the stopwatch's figures, then the labels unless frozen.
    void flush();
    /// True while a refresh is pending.
    bool pending() const { return pending_; }

    /// Zeroes the counters and the packet count, restarts the duration, shows zeros whatever
    /// the freeze says, empties the speed window and the packet list.
    void resetStatistics();
    /// lblDuration = the time since the last reset.
    void updateDuration();

    /// "Freeze Display": the labels, the current speed and the average are no longer refreshed.
    void setDisplayFrozen(bool frozen);
    /// True while frozen.
    bool displayFrozen() const { return displayFrozen_; }

    /// Date-time of the last reset.
    QDateTime statsStartTime() const { return statsStartTime_; }

    /// Refreshes the stopwatch window's figures (runs at every refresh, frozen or not).
    std::function<void()> updateStopwatchStats;
    /// Removes all rows of the packet list (last step of the reset).
    std::function<void()> clearPacketList;
    /// Resets what else counts for the run (after the packet list is cleared).
    std::function<void()> resetOthers;

private:
    void refresh(bool force);
    void showCounters();

    const Clock& clock_;
    FrameHandler& frames_;
    SpeedSampler* sampler_;
    StatisticsView* view_ = nullptr;
    QDateTime statsStartTime_;
    bool displayFrozen_ = false;
    bool pending_ = false;
};
