#pragma once

#include "capture/TrafficCounters.h"
#include "speed/clsSpeedSample.h"

#include <QString>

#include <array>

class Clock;
class StopwatchView;
struct DisplayUnits;

/// The stopwatch: measures the traffic of an interval the user starts and stops. It shows the
/// growth of the never-reset stopwatch counters since the start, the elapsed time to a tenth of
/// a second, a picture that advances once a second, and the average speed over its newest 100
/// ticks (ten seconds).
///
/// Wiring in the stopwatch window:
/// @code
/// Stopwatch stopwatch(clock, frames.stopwatchCounters, units);
/// stopwatch.setView(this);
/// // "Start"/"Stop": stopwatch.start() and Timer1.start(100), or Timer1.stop(), stopwatch.stop()
/// // Timer1 (100 ms, only while running): stopwatch.tick()
/// // After counted frames, once per batch: stopwatch.updateStopwatchStats()
/// @endcode
/// Every start begins from zero; there is no pause.
class Stopwatch final {
    Q_DISABLE_COPY_MOVE(Stopwatch)

public:
    /// Ticks kept for the average.
    static constexpr int kWindow = 100;
    /// Number of animation pictures.
    static constexpr int kPictures = 12;

    /// counters (the stopwatch set) and units must outlive this object.
    Stopwatch(const Clock& clock, const TrafficCounters& counters, const DisplayUnits& units);

    /// Sets the texts' owner; may be null.
    void setView(StopwatchView* view) { view_ = view; }

    /// Starts from zero: the start time and baseline are taken now, every figure shows 0,
    /// the time "00:00:00.0", picture 12, the sample window is emptied and the average is 0.
    void resetStopwatchStats();
    /// resetStopwatchStats() and running from now on.
    void start();
    /// Stops; the figures stay as they are (brought up to date first).
    void stop();
    /// True while running.
    bool isStopWatchActive() const { return active_; }

    /// While running: every figure = growth of its counter since the start.
    void updateStopwatchStats();
    /// One 100 ms tick: elapsed time, picture, one speed sample and the average.
    void tick();

    /// Elapsed time as hours (two digits or more), minutes, seconds and tenths, e.g.
    /// 3,725,400 ms gives "01:02:05.4". Rounded to the nearest tenth, carrying into the
    /// minutes and hours (59.96 s gives "00:01:00.0", never "00:00:60.0").
    static QString timeText(quint32 elapsedMs);
    /// Picture shown for an elapsed time: whole seconds of the minute modulo 12, 0 giving 12.
    static int pictureFor(quint32 elapsedMs);
    /// Text of a figure: the byte count in the display unit followed by a blank.
    static QString figureText(double bytes, const DisplayUnits& units);

    /// Tick count at the last start.
    quint32 gStartTime() const { return startTime_; }
    /// Picture to show at the next tick (1..12).
    int gTimerIconNum() const { return timerIconNum_; }
    /// Growth of a counter since the start.
    double figure(TrafficCounters::Row row, TrafficCounters::Column column) const;
    /// Samples in the window (0..100).
    int sampleCount() const { return count_; }
    /// Sample i of the window, 0 = oldest.
    const clsSpeedSample& sample(int i) const {
        return samples_[std::size_t((first_ + i) % kWindow)];
    }
    /// Sum of the bytes of the window's samples.
    double swWindowBytes() const { return windowBytes_; }
    /// Total transfer at the previous tick.
    double swLastTotal() const { return lastTotal_; }

private:
    void store(double delta, quint32 when, quint32 span);
    void showAverage();
    void showZeroFigures();

    const Clock& clock_;
    const TrafficCounters& counters_;
    const DisplayUnits& units_;
    StopwatchView* view_ = nullptr;

    bool active_ = false;
    quint32 startTime_ = 0;
    int timerIconNum_ = kPictures;
    int shownPicture_ = 0;
    TrafficCounters baseline_;
    double lastTotal_ = 0;
    std::array<clsSpeedSample, kWindow> samples_{};
    int first_ = 0;
    int count_ = 0;
    double windowBytes_ = 0;
    double windowMs_ = 0;         ///< sum of the spans of the window's samples
    quint32 lastSampleTime_ = 0; ///< tick count of the previous tick (or the start)
};
