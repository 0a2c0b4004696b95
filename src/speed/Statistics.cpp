#include "speed/Statistics.h"

#include "capture/FrameHandler.h"
#include "platform/Clock.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"
#include "speed/StatisticsView.h"

Statistics::Statistics(const Clock& clock, FrameHandler& frames, SpeedSampler* sampler,
                       const DisplayUnits& units)
    : clock_(clock), frames_(frames), sampler_(sampler), units_(units),
      statsStartTime_(clock.now()) {}

void Statistics::refresh(bool force) {
    pending_ = false;
    try {
        emit refreshing();
    } catch (...) {
        // the stopwatch's own refresh failing leaves the labels to do
    }
    if (force || !displayFrozen_)
        showCounters();
}

void Statistics::showCounters() {
    if (view_ == nullptr)
        return;
    for (int r = 0; r < TrafficCounters::kRows; ++r)
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            const auto row = TrafficCounters::Row(r);
            const auto column = TrafficCounters::Column(c);
            view_->setCounterText(row, column,
                                  units_.formatBytes(frames_.counters.value(row, column)));
        }
    view_->setPacketsText(fixed(frames_.packetCount, 0));
}

void Statistics::resetStatistics() {
    statsStartTime_ = clock_.now();
    frames_.packetCount = 0;
    frames_.counters.reset();
    if (view_ != nullptr) {
        const QString zero = units_.formatBytes(0);
        for (int r = 0; r < TrafficCounters::kRows; ++r)
            for (int c = 0; c < TrafficCounters::kColumns; ++c)
                view_->setCounterText(TrafficCounters::Row(r), TrafficCounters::Column(c), zero);
    }
    updateDuration();
    if (view_ != nullptr)
        view_->setPacketsText(QStringLiteral("0"));
    if (sampler_ != nullptr)
        sampler_->reset();
    showAverage(units_.speedText(0));
}

void Statistics::showAverage(const QString& text) {
    if (view_ != nullptr)
        view_->setAvgSpeedText(text);
}

void Statistics::updateDuration() {
    if (view_ == nullptr)
        return;
    const double days = double(statsStartTime_.msecsTo(clock_.now())) / 86400000.0;
    view_->setDurationText(FormatTime(days));
}

void Statistics::setDisplayFrozen(bool frozen) {
    displayFrozen_ = frozen;
    if (sampler_ != nullptr)
        sampler_->displayFrozen = frozen;
}
