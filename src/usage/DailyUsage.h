#pragma once

#include "usage/CoverageLog.h"
#include "usage/UsageViewPort.h"
#include "usage/clsUsageLogger.h"
#include "usage/clsUsageRec.h"

#include <QDate>

#include <functional>

class Clock;
class FileSystem;
class MessageBoxes;
struct DisplayUnits;

/// The usage log as the session keeps it: the accounting day, the per-frame increments, and
/// the month shown on the "Log" tab with its total and average, which it works out itself and
/// pushes to its view (UsageViewPort).
///
/// Per frame, logUsage() only adds in memory and checks the day; storeFigures() (once per batch
/// of frames) writes the session file, showPending() (at the window's refresh) today's row and
/// the totals; onBatchEnd() does both. A day change
/// reaches the view with the first frame of the new day.
///
/// @code
/// DailyUsage daily(logger, fs, clock, boxes, units);
/// daily.setView(view);  // may stay null
/// daily.start();        // the accounting day is today
/// daily.setUpView();    // the pickers and today's month
/// // the view's pickers: daily.selectMonth(index), daily.selectYear(year); its show button and
/// // a change of the display unit: daily.listSelected()
/// @endcode
class DailyUsage final {
    Q_DISABLE_COPY_MOVE(DailyUsage)

public:
    /// Works on the given store; error boxes go to boxes. All must outlive this object.
    DailyUsage(clsUsageLogger& logger, FileSystem& fs, const Clock& clock, MessageBoxes& boxes,
               const DisplayUnits& units);

    /// The view to keep up to date (null: none).
    void setView(UsageViewPort* view) { view_ = view; }
    /// Start-up: the accounting day and the day the view is up to date for become today.
    void start();
    /// Start-up of the view: fills the year picker from the log folder, selects today's month
    /// and year, and lists today's month.
    void setUpView();

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
    void onBatchEnd() {
        showPending();
        storeFigures();
    }
    /// Stores the session. A store that cannot be written is told once in an "Error in
    /// logUsage:" box.
    void storeFigures();
    /// Shows the figures counted since the last call in today's row and the totals.
    void showPending() { applyPending(); }
    /// Adds an amount to the month total and shows the new total and average.
    void addToUsageTotal(double amount);

    /// Lists a month (1..12) of a year: its days newest first, the total and the average per
    /// day. Errors show "Error in listLogFile:".
    void listLogFile(int month, int year);
    /// Lists the month and year that the view's pickers show.
    void listSelected() { listLogFile(selectedMonth_ + 1, selectedYear_); }
    /// The view's month picker shows this entry (month - 1; -1 none).
    void selectMonth(int index) { selectedMonth_ = index; }
    /// The view's year picker shows this year (0 none).
    void selectYear(int year) { selectedYear_ = year; }
    /// Marks the listed days again from the coverage file (after frames were lost today).
    void refreshMarks();
    /// Called after every listing (the usage chart follows the month listed).
    void setListedHandler(std::function<void()> handler) { listed_ = std::move(handler); }
    /// The month (1..12) and the year listed last; 0 before the first listing.
    int listedMonth() const { return listedMonth_; }
    int listedYear() const { return listedYear_; }
    /// Where the figures are stored, and the units they are shown in.
    const FileSystem& fileSystem() const { return fs_; }
    const QString& logFolder() const { return logger_.logFolder(); }
    const DisplayUnits& units() const { return units_; }

    /// The accounting day.
    QDate currentDay() const { return currentDay_; }
    /// The day for which the view was last brought up to date.
    QDate listTag() const { return listTag_; }
    /// Total bytes of the month shown.
    double usageTotal() const { return usageTotal_; }
    /// The month total divided by the number of rows.
    double usageAverage() const { return usageAverage_; }
    /// The dates of the rows listed, the top row first.
    const QList<QDate>& listedDays() const { return listedDays_; }

    /// True when a log file name gives a year picker entry: name ending in "log" whose first
    /// four characters make a valid year.
    static bool yearEntryOf(const QString& fileName, QString* entry);
    /// The tooltip of a day's row from its coverage figures: frames lost by the capture,
    /// traffic not watched and IPv6 not counted, one line each; empty when the day has none.
    static QString dayTooltip(const CoverageLog::Day& day, const DisplayUnits& units);

private:
    bool viewDayChanged();
    void applyPending();
    UsageViewPort::Row rowOf(const clsUsageRec& day) const;

    clsUsageLogger& logger_;
    FileSystem& fs_;
    const Clock& clock_;
    MessageBoxes& boxes_;
    const DisplayUnits& units_;
    UsageViewPort* view_ = nullptr;
    QDate currentDay_;
    QDate listTag_;
    int selectedMonth_ = -1;
    int selectedYear_ = 0;
    QList<QDate> listedDays_; ///< the rows shown, top first
    int listedYear_ = 0;      ///< the year of the month listed
    int listedMonth_ = 0;     ///< the month listed
    std::function<void()> listed_;
    double usageTotal_ = 0;
    double usageAverage_ = 0;
    QDate pendingDay_;         ///< the day of the frames not yet shown
    double pendingAmount_ = 0; ///< their total bytes
    bool pending_ = false;
    bool storeFailing_ = false; ///< the store's last flush failed and the user was told
};
