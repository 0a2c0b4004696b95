#pragma once

#include "capture/TrafficCounters.h"
#include "speed/clsSpeedSample.h"

#include <QObject>
#include <QString>

#include <array>

class Clock;
class MessageBoxes;
struct DisplayUnits;

/// The 100 ms tick (Timer1): every tick without a sample copies the graph and meter to the
/// screen; every 10th tick takes one speed sample from the Total transfer counter, has it
/// plotted, keeps the newest 60 samples for the average and tells the notification icon what
/// moved. The session connects the signals to the graph, the average label and the icon.
///
/// @code
/// SpeedSampler sampler(clock, frames.counters, &boxes, units);
/// connect(&sampler, &SpeedSampler::scrolled, ...);       // graph.scroll()
/// connect(&sampler, &SpeedSampler::sampled, ...);        // graph.plot(speed, figure)
/// connect(&sampler, &SpeedSampler::imagesChanged, ...);  // copy the images to the screen
/// connect(&sampler, &SpeedSampler::averageChanged, ...); // lblAvgSpeed
/// connect(&sampler, &SpeedSampler::activity, ...);       // the icon's picture and tip
/// sampler.start(); // at the end of start-up; then sampler.tick() every 100 ms
/// @endcode
/// Errors thrown while a tick runs end it and show "Error in Timer1:" (never stacked).
class SpeedSampler final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpeedSampler)

public:
    /// Samples kept for the average.
    static constexpr int kWindow = 60;
    /// Ticks per sample.
    static constexpr int kTicksPerSample = 10;

    /// counters and units must outlive the sampler; boxes may be null.
    SpeedSampler(const Clock& clock, const TrafficCounters& counters, MessageBoxes* boxes,
                 const DisplayUnits& units);

    /// Takes the current tick count as the previous sample's time (end of start-up).
    void start();
    /// One 100 ms tick.
    void tick();
    /// Empties the sample window (statistics reset); the previous total stays, so the next
    /// interval after a reset counts 0 bytes.
    void reset();
    /// Recomputes the average text from the window and shows it.
    void displaySpeed();
    /// The average text for the current window and speed unit.
    QString averageText() const;

    /// Bytes per second of the last interval; 0 between samples.
    double currentSpeed() const { return currentSpeed_; }
    /// Samples in the window (0..60).
    int sampleCount() const { return count_; }
    /// Sample i of the window, 0 = oldest.
    const clsSpeedSample& sample(int i) const {
        return samples_[std::size_t((first_ + i) % kWindow)];
    }
    /// Sum of the bytes of the window's samples.
    double windowBytes() const { return windowBytes_; }
    /// Milliseconds the window's samples cover (the sum of their spans).
    double windowMs() const { return windowMs_; }
    /// Total transfer at the previous sample.
    double lastTotal() const { return lastTotal_; }
    /// Tick count of the previous sample.
    quint32 lastTick() const { return lastTick_; }
    /// Ticks since the last sample (0..9).
    int tickCounter() const { return tickCounter_; }

    bool displayFrozen = false; ///< "Freeze Display": graph, meter and average stand still

signals:
    /// A tick without a sample: the graph's and the meter's images are due on the screen.
    void imagesChanged();
    /// A sample begins: the graph scrolls one step and draws its grid (not while frozen).
    void scrolled();
    /// A sample's speed (bytes per second) and its figure without unit in the speed unit, for
    /// the graph and the meter; none while frozen.
    void sampled(double bytesPerSecond, const QString& figure);
    /// The average speed text for lblAvgSpeed.
    void averageChanged(const QString& text);
    /// A sample was taken: the icon's picture by what moved since the previous one (1 idle,
    /// 2 download, 3 upload, 4 both) and the Total transfer counter.
    void activity(int picture, double total);

private:
    void takeSample();
    void store(double delta, quint32 span);

    const Clock& clock_;
    const TrafficCounters& counters_;
    MessageBoxes* boxes_;
    const DisplayUnits& units_;

    int tickCounter_ = 0;
    quint32 lastTick_ = 0;
    double lastTotal_ = 0;
    double currentSpeed_ = 0;
    std::array<clsSpeedSample, kWindow> samples_{};
    int first_ = 0;
    int count_ = 0;
    double windowBytes_ = 0;
    double windowMs_ = 0; ///< sum of the spans of the window's samples
    double previousReceived_ = 0;
    double previousSent_ = 0;
    double previousPassthru_ = 0;
};
