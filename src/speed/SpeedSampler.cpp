#include "speed/SpeedSampler.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "speed/Format.h"

#include <exception>

SpeedSampler::SpeedSampler(const Clock& clock, const TrafficCounters& counters, MessageBoxes* boxes,
                           const DisplayUnits& units)
    : clock_(clock), counters_(counters), boxes_(boxes), units_(units) {}

void SpeedSampler::start() {
    lastTick_ = clock_.tickCount();
}

void SpeedSampler::tick() {
    try {
        if (tickCounter_ < kTicksPerSample - 1) {
            ++tickCounter_;
            emit imagesChanged();
            return;
        }
        tickCounter_ = 0;
        takeSample();
    } catch (const std::exception& e) {
        if (boxes_ != nullptr)
            boxes_->error(QStringLiteral("Timer1"), QString::fromLocal8Bit(e.what()),
                          ErrorSource::Repeating);
    } catch (...) {
        if (boxes_ != nullptr)
            boxes_->error(QStringLiteral("Timer1"), QStringLiteral("Unknown error"),
                          ErrorSource::Repeating);
    }
}

void SpeedSampler::takeSample() {
    if (!displayFrozen)
        emit scrolled();
    const double total = counters_.transfer(TrafficCounters::Total);
    const quint32 now = clock_.tickCount();
    if (now <= lastTick_) {
        // No time passed, or the tick count wrapped: only re-synchronise.
        lastTotal_ = total;
        lastTick_ = now;
        return;
    }
    double delta = 0;
    if (total >= lastTotal_) {
        delta = total - lastTotal_;
        if (!displayFrozen)
            currentSpeed_ = delta / (double(now - lastTick_) / 1000.0);
    }
    // While frozen the graph and the meter stand still: no step, no point, so no false zeros
    // stay in the graph's history after the thaw.
    if (!displayFrozen)
        emit sampled(currentSpeed_, units_.speedFigure(currentSpeed_));
    store(delta, now - lastTick_);
    if (!displayFrozen)
        displaySpeed();
    currentSpeed_ = 0;

    const double received = counters_.transfer(TrafficCounters::Received);
    const double sent = counters_.transfer(TrafficCounters::Sent);
    const double passthru = counters_.transfer(TrafficCounters::Passthru);
    const bool passby = passthru > previousPassthru_;
    const bool down = received > previousReceived_ || passby;
    const bool up = sent > previousSent_ || passby;
    emit activity((down && up) ? 4 : down ? 2 : up ? 3 : 1, total);
    previousReceived_ = received;
    previousSent_ = sent;
    previousPassthru_ = passthru;
    lastTotal_ = total;
    lastTick_ = now;
}

void SpeedSampler::store(double delta, quint32 span) {
    clsSpeedSample sample;
    sample.bytes = delta;
    sample.sampleTime = clock_.tickCount();
    sample.span = span;
    windowMs_ += span;
    if (count_ == kWindow) {
        windowBytes_ = windowBytes_ - samples_[std::size_t(first_)].bytes + delta;
        windowMs_ -= samples_[std::size_t(first_)].span;
        samples_[std::size_t(first_)] = sample;
        first_ = (first_ + 1) % kWindow;
    } else {
        windowBytes_ += delta;
        samples_[std::size_t((first_ + count_) % kWindow)] = sample;
        ++count_;
    }
}

void SpeedSampler::reset() {
    first_ = 0;
    count_ = 0;
    windowBytes_ = 0;
    windowMs_ = 0;
}

QString SpeedSampler::averageText() const {
    // The bytes of the window over the time its samples cover: each sample covers the interval
    // since the one before it, the first one included.
    const double elapsed = windowMs_ > 0 ? windowMs_ / 1000.0 : 1.0;
    return units_.speedText(windowBytes_ / elapsed);
}

void SpeedSampler::displaySpeed() {
    try {
        emit averageChanged(averageText());
    } catch (...) {
        // the average label ignores its errors
    }
}
