#pragma once

#include "capture/TrafficCounters.h"
#include "speed/clsSpeedSample.h"

#include <QString>

#include <array>
#include <functional>

class Clock;
class MessageBoxes;

/// The 100 ms tick of the main window (Timer1): every tick copies the graph and meter to the
/// screen; every 10th tick takes one speed sample from the Total transfer counter, plots it,
/// keeps the newest 60 samples for the average label and updates the notification icon.
///
/// Wiring in the main window:
/// @code
/// SpeedSampler sampler(clock, frames.counters, &boxes);
/// sampler.copyImages = [&] { graph.copyToScreen(); };
/// sampler.scrollGraph = [&] { graph.scroll(); };
/// sampler.plotSpeed = [&](double bytesPerSecond, const QString& figure) { graph.plot(...); };
/// sampler.showAverage = [&](const QString& text) { statsPanel->setAvgSpeedText(text); };
/// sampler.updateTray = [&](int picture, const QString& tip) { tray.modify(picture, tip); };
/// sampler.start(); // at the end of start-up
/// connect(Timer1, timeout, [&] { sampler.tick(); statistics.flush(); });
/// @endcode
/// Errors thrown by hooks end the tick and show "Error in Timer1:" (never stacked).
class SpeedSampler final {
    Q_DISABLE_COPY_MOVE(SpeedSampler)

public:
    /// Samples kept for the average.
    static constexpr int kWindow = 60;
    /// Ticks per sample.
    static constexpr int kTicksPerSample = 10;

    /// counters must outlive the sampler; boxes may be null.
    SpeedSampler(const Clock& clock, const TrafficCounters& counters, MessageBoxes* boxes);

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
    bool gMonitoringInProgress = false; ///< capture running: the icon is updated
    QString gTooltipText; ///< first line of the icon tip: the adapter's description

    /// Copies the graph and meter images to the screen (ticks without a sample).
    std::function<void()> copyImages;
    /// Scrolls the graph one step and draws its grid.
    std::function<void()> scrollGraph;
    /// Plots a speed on graph and meter and writes the figure (no unit) into the meter.
    std::function<void(double bytesPerSecond, const QString& figure)> plotSpeed;
    /// Shows the average speed text.
    std::function<void(const QString& text)> showAverage;
    /// Sets the icon picture (1 idle, 2 download, 3 upload, 4 both) and tip (at most 127
    /// characters).
    std::function<void(int picture, const QString& tip)> updateTray;

private:
    void takeSample();
    void store(double delta, quint32 span);

    const Clock& clock_;
    const TrafficCounters& counters_;
    MessageBoxes* boxes_;

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
