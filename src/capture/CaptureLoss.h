#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

/// Frames the capture could not deliver: counted for the run (until the statistics are reset)
/// and for the current day, from what the capture component reports once a second.
///
///   loss.tick(capture.takeDroppedFrames(), dailyUsage.currentDay());
///   view.setText(CaptureLoss::statusText(loss.runCount()));
class CaptureLoss final {
public:
    /// Adds the frames reported now. `today` is the accounting day: when it differs from the
    /// day counted so far, the day's count starts again from these frames.
    void tick(quint64 dropped, const QDate& today);

    /// Frames lost since start-up or the last statistics reset.
    quint64 runCount() const { return run_; }
    /// The day counted, and its frames lost while this run watched.
    QDate day() const { return day_; }
    quint64 dayCount() const { return dayCount_; }

    /// The statistics reset: the run's count goes back to 0; the day's stays.
    void resetRun() { run_ = 0; }

    /// The status line for the run's count; empty when nothing was lost.
    static QString statusText(quint64 runCount);

private:
    quint64 run_ = 0;
    QDate day_;
    quint64 dayCount_ = 0;
};
