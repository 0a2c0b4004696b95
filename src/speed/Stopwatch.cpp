#include "speed/Stopwatch.h"

#include "platform/Clock.h"
#include "speed/Format.h"
#include "speed/StopwatchView.h"

Stopwatch::Stopwatch(const Clock& clock, const TrafficCounters& counters, const DisplayUnits& units)
    : clock_(clock), counters_(counters), units_(units), startTime_(clock.tickCount()) {}

QString Stopwatch::timeText(quint32 elapsedMs) {
    // Whole tenths first, so a rounded-up 59.96 s carries into the minutes.
    const quint64 tenths = (quint64(elapsedMs) + 50) / 100;
    const quint64 hours = tenths / 36000;
    const quint64 minutes = tenths / 600 % 60;
    const quint64 secondTenths = tenths % 600;
    QString seconds = fixed(double(secondTenths) / 10.0, 1);
    if (secondTenths < 100)
        seconds.prepend(QLatin1Char('0'));
    return QStringLiteral("%1:%2:")
               .arg(hours, 2, 10, QLatin1Char('0'))
               .arg(minutes, 2, 10, QLatin1Char('0')) +
           seconds;
}

int Stopwatch::pictureFor(quint32 elapsedMs) {
    const quint64 tenths = (quint64(elapsedMs) + 50) / 100;
    const int second = int(tenths % 600 / 10);
    const int picture = second % kPictures;
    return picture == 0 ? kPictures : picture;
}

QString Stopwatch::figureText(double bytes, const DisplayUnits& units) {
    return units.formatBytes(bytes) + QLatin1Char(' ');
}

double Stopwatch::figure(TrafficCounters::Row row, TrafficCounters::Column column) const {
    return counters_.value(row, column) - baseline_.value(row, column);
}

void Stopwatch::showZeroFigures() {
    if (view_ == nullptr)
        return;
    const QString zero = figureText(0, units_);
    for (int r = 0; r < TrafficCounters::kRows; ++r)
        for (int c = 0; c < TrafficCounters::kColumns; ++c)
            view_->setFigureText(TrafficCounters::Row(r), TrafficCounters::Column(c), zero);
}

void Stopwatch::resetStopwatchStats() {
    startTime_ = clock_.tickCount();
    baseline_ = counters_;
    showZeroFigures();
    timerIconNum_ = kPictures;
    if (view_ != nullptr) {
        view_->setPicture(kPictures);
        shownPicture_ = kPictures;
        view_->setElapsedText(timeText(0));
    }
    first_ = 0;
    count_ = 0;
    windowBytes_ = 0;
    windowMs_ = 0;
    lastSampleTime_ = startTime_;
    if (view_ != nullptr)
        view_->setAvgSpeedText(units_.speedText(0));
}

void Stopwatch::start() {
    resetStopwatchStats();
    lastTotal_ = counters_.transfer(TrafficCounters::Total);
    active_ = true;
}

void Stopwatch::stop() {
    // Frames counted since the last refresh still belong to the measurement.
    updateStopwatchStats();
    active_ = false;
}

void Stopwatch::updateStopwatchStats() {
    if (!active_ || view_ == nullptr)
        return;
    for (int r = 0; r < TrafficCounters::kRows; ++r)
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            const auto row = TrafficCounters::Row(r);
            const auto column = TrafficCounters::Column(c);
            view_->setFigureText(row, column, figureText(figure(row, column), units_));
        }
}

void Stopwatch::tick() {
    const quint32 elapsed = clock_.tickCount() - startTime_; // wraps with the tick count
    if (view_ != nullptr && shownPicture_ != timerIconNum_) {
        view_->setPicture(timerIconNum_);
        shownPicture_ = timerIconNum_;
    }
    if (view_ != nullptr)
        view_->setElapsedText(timeText(elapsed));
    timerIconNum_ = pictureFor(elapsed);

    const double total = counters_.transfer(TrafficCounters::Total);
    const quint32 now = clock_.tickCount();
    store(total - lastTotal_, now, now - lastSampleTime_);
    lastSampleTime_ = now;
    showAverage();
    lastTotal_ = total;
}

void Stopwatch::store(double delta, quint32 when, quint32 span) {
    windowMs_ += span;
    if (count_ == kWindow) {
        windowBytes_ = windowBytes_ - samples_[std::size_t(first_)].bytes + delta;
        windowMs_ -= samples_[std::size_t(first_)].span;
        samples_[std::size_t(first_)] = {delta, when, span};
        first_ = (first_ + 1) % kWindow;
    } else {
        windowBytes_ += delta;
        samples_[std::size_t((first_ + count_) % kWindow)] = {delta, when, span};
        ++count_;
    }
}

void Stopwatch::showAverage() {
    // The bytes of the window over the time its ticks cover, the first tick's interval (from
    // the start or the tick before it) included.
    if (view_ == nullptr || windowMs_ <= 0)
        return;
    view_->setAvgSpeedText(units_.speedText(windowBytes_ / (windowMs_ / 1000.0)));
}
