#include "monitor/RefreshPacer.h"

#include <algorithm>

RefreshPacer::RefreshPacer(std::function<void()> refresh, int intervalMs,
                           std::function<qint64()> now, QObject* parent)
    : QObject(parent), refresh_(std::move(refresh)), now_(std::move(now)),
      interval_(std::max(0, intervalMs)) {
    if (!now_) {
        monotonic_.start();
        now_ = [this] { return monotonic_.elapsed(); };
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RefreshPacer::run);
}

bool RefreshPacer::request() {
    const qint64 since = now_() - last_;
    if (interval_ == 0 || !ranOnce_ || since >= interval_ || since < 0) {
        run();
        return true;
    }
    // While frames flow the next batch after the interval refreshes; the timer only shows the
    // last batch of a burst, one interval late, and so adds no wake-up of its own.
    if (!timer_.isActive())
        timer_.start(int(2 * interval_ - since));
    return false;
}

void RefreshPacer::runWaiting() {
    if (timer_.isActive())
        run();
}

void RefreshPacer::run() {
    timer_.stop();
    last_ = now_();
    ranOnce_ = true;
    refresh_();
}
