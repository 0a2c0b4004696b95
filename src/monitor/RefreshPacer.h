#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

/// Keeps the window's refreshes at a human rate whatever the frame rate: a request refreshes at
/// once when the last refresh is at least one interval old; a request within the interval
/// waits for a later one or, if none comes, for a timer one interval after the interval has
/// passed (so the last batch of a burst is always shown). Interval 0: every request refreshes
/// at once.
class RefreshPacer final : public QObject {
    Q_OBJECT

public:
    /// `now` gives monotonic milliseconds; empty: the system's monotonic clock.
    explicit RefreshPacer(std::function<void()> refresh, int intervalMs,
                          std::function<qint64()> now = {}, QObject* parent = nullptr);

    /// Asks for a refresh; returns true when it ran now.
    bool request();
    /// Drops a waiting refresh (capture stopped, statistics reset refreshes by itself).
    void cancel() { timer_.stop(); }
    /// Runs a waiting refresh now, if one waits.
    void runWaiting();
    /// True while a refresh waits for its interval.
    bool waiting() const { return timer_.isActive(); }
    int intervalMs() const { return interval_; }

private:
    void run();

    std::function<void()> refresh_;
    std::function<qint64()> now_;
    QElapsedTimer monotonic_;
    QTimer timer_;
    int interval_;
    qint64 last_ = 0;
    bool ranOnce_ = false;
};
