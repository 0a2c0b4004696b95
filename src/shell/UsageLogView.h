#pragma once

#include "usage/UsageViewPort.h"

#include "usage/CoverageLog.h"

#include <QWidget>

class Clock;
class DailyUsage;
class FileSystem;
class MessageBoxes;
class QComboBox;
class QLabel;
class QRect;
class QToolButton;
class QTreeWidget;
class clsUsageLogger;

/// The controls of the "Log" tab: the day list ListView2, the month picker Combo1, the year
/// picker Combo2, the show button Command3 and the four labels lblUsage(0), lblUsage(1),
/// lblUsageVal(0), lblUsageVal(1). The rows show the newest day first.
///
/// Wiring in the main window, after the usage logger and the daily accounting exist:
/// @code
///   usageLogView = new UsageLogView(*usageLogger, *dailyUsage, fileSystem, boxes, clock, this);
///   usageLogView->placeControls(this, tabClientRect, Frame3); // optional: moves the controls
///   usageLogView->setUp();              // pickers, captions, today's listing (also starts
///                                       // the accounting day)
///   // tab "Log": usageLogView->setControlsVisible(true); other tabs: false
///   // tab width change: usageLogView->setListWidth(stripWidth - 8)
///   // settings OK: usageLogView->listSelected()
/// @endcode
/// The view registers itself with the daily accounting, which refreshes it once per batch of
/// frames (DailyUsage::onBatchEnd) and relists it at a day change.
class UsageLogView final : public QWidget, public UsageViewPort {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageLogView)

public:
    /// Builds the controls (hidden) and registers with the daily accounting. All references
    /// must outlive the view.
    UsageLogView(clsUsageLogger& logger, DailyUsage& daily, FileSystem& fs, MessageBoxes& boxes,
                 const Clock& clock, QWidget* parent = nullptr);
    ~UsageLogView() override;

    /// Moves the controls onto the main window: the list into the tab strip's client area
    /// (top + 3, height - 33), the pickers and the button into the tab row, the labels into the
    /// status frame.
    void placeControls(QWidget* window, const QRect& clientArea, QWidget* statusFrame);
    /// Start-up: fills the pickers from today and the log folder, sets the captions, sets the
    /// accounting day and lists the current month.
    void setUp();
    /// Shows or hides all eight controls.
    void setControlsVisible(bool visible);
    /// Sets the list's width.
    void setListWidth(int width);
    /// Lists the month and year selected in the pickers.
    void listSelected();
    /// Marks the listed days again from the coverage file (after frames were lost today).
    void refreshMarks() { markIncompleteDays(listedYear_); }

    // UsageViewPort
    int rowCount() const override;
    QDate firstRowDate() const override;
    void showFirstRow(const clsUsageRec& day) override;
    void showTotals(double total, double average) override;
    int monthPickerIndex() const override;
    int yearPickerYear() const override;
    void selectMonthIndex(int index) override;
    void selectYear(int year) override;
    /// Lists a month (1..12) of a year; errors show "Error in listLogFile:".
    void listLogFile(int month, int year) override;

    /// True when a log file name gives a year picker entry: name ending in "log" whose first
    /// four characters make a valid year.
    static bool yearEntryOf(const QString& fileName, QString* entry);
    /// The tooltip of a day's row from its coverage figures: frames lost by the capture and
    /// traffic not watched, one line each; empty when the day has neither.
    static QString dayTooltip(const CoverageLog::Day& day);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Gives rows of days with frames lost by the capture or traffic not watched a tooltip that
    /// says how much.
    void markIncompleteDays(int year);
    void showButtonPressed();
    void fillYearPicker(int currentYear);
    void fitLabels();

    clsUsageLogger& logger_;
    DailyUsage& daily_;
    FileSystem& fs_;
    MessageBoxes& boxes_;
    const Clock& clock_;

    QTreeWidget* ListView2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QToolButton* Command3 = nullptr;
    QLabel* lblUsage[2] = {};
    QLabel* lblUsageVal[2] = {};
    int listedYear_ = 0; ///< the year of the month listed
};
