#pragma once

#include "usage/clsUsageLogger.h"
#include "usage/clsUsageRec.h"

#include <QDate>

class Clock;
class MessageBoxes;
class UsageViewPort;

/// The main window's side of the usage log: the accounting day, the per-frame increments and
/// the live view of today's row and the month's totals.
///
/// Per frame, logUsage() only adds in memory and checks the day; onBatchEnd() (once per batch of
/// frames, from CaptureEvents::OnBatchEnd) writes the session file and refreshes today's row and
/// the totals. A day change reaches the view with the first frame of the new day.
class DailyUsage final {
    Q_DISABLE_COPY_MOVE(DailyUsage)

public:
    /// Works on the given store; error boxes go to boxes.
    DailyUsage(clsUsageLogger& logger, const Clock& clock, MessageBoxes& boxes);

    /// The view to keep up to date (null: none).
    void setView(UsageViewPort* view) { view_ = view; }
    /// Start-up: the accounting day and the list's tag become today.
    void start();

    /// Once a second: moves the accounting day to today. True when it moved (the caller then
    /// resets the statistics if "ResetStatsAtNewDay" is on, and gives the frame path the new day).
    bool checkCurrentDay();
    /// Once per counted frame: the increment goes to the store; a day change relists the view.
    void logUsage(const clsUsageRec& increment) {
        logger_.logUsage(increment);
        if (listTag_ != currentDay_ && viewDayChanged())
            return; // the new listing already holds this frame
        if (increment.usageDate != pendingDay_)
            applyPending();
        pendingDay_ = increment.usageDate;
        pendingAmount_ += increment.dataTotalUsage;
        pending_ = true;
    }
    /// Once per batch of frames: stores the session and refreshes today's row and the totals.
    /// A store that cannot be written is told once in an "Error in logUsage:" box.
    void onBatchEnd();
    /// Adds an amount to the month total and shows the new total and average.
    void addToUsageTotal(double amount);
    /// Called by the view after listing a month: its total and number of rows.
    void listed(double total, int rows);

    /// The accounting day.
    QDate currentDay() const { return currentDay_; }
    /// The day for which the view was last brought up to date.
    QDate listTag() const { return listTag_; }
    /// Total bytes of the month shown.
    double usageTotal() const { return usageTotal_; }
    /// The month total divided by the number of rows.
    double usageAverage() const { return usageAverage_; }

private:
    bool viewDayChanged();
    void applyPending();

    clsUsageLogger& logger_;
    const Clock& clock_;
    MessageBoxes& boxes_;
    UsageViewPort* view_ = nullptr;
    QDate currentDay_;
    QDate listTag_;
    double usageTotal_ = 0;
    double usageAverage_ = 0;
    QDate pendingDay_;         ///< the day of the frames not yet shown
    double pendingAmount_ = 0; ///< their total bytes
    bool pending_ = false;
    bool storeFailing_ = false; ///< the store's last flush failed and the user was told
};
