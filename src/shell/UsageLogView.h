#pragma once

#include "shell/UsageChartWindow.h"
#include "usage/UsageViewPort.h"

#include <QPointer>
#include <QWidget>

class DailyUsage;
class QComboBox;
class QLabel;
class QRect;
class QPushButton;
class QToolButton;
class QTreeWidget;

/// The controls of the "Log" tab: the day list ListView2, the month picker Combo1, the year
/// picker Combo2, the show button Command3 and the four labels lblUsage(0), lblUsage(1),
/// lblUsageVal(0), lblUsageVal(1), and below the list the data plan's line lblPlan and the button
/// cmdChart "Chart", which opens the usage chart window of the month listed. It shows what
/// the daily accounting pushes and tells it which month and year the pickers show; the show button
/// lists them.
///
/// @code
///   usageLogView = new UsageLogView(session.dailyUsage(), this); // registers as its view
///   usageLogView->placeControls(this, tabClientRect, Frame3); // optional: moves the controls
///   session.dailyUsage().setUpView();   // pickers and today's listing
///   // tab "Log": usageLogView->setControlsVisible(true); other tabs: false
///   // tab width change: usageLogView->setListWidth(stripWidth - 8)
/// @endcode
class UsageLogView final : public QWidget, public UsageViewPort {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageLogView)

public:
    /// Builds the controls (hidden) and registers with the daily accounting, which must
    /// outlive the view.
    explicit UsageLogView(DailyUsage& daily, QWidget* parent = nullptr);
    ~UsageLogView() override;

    /// Moves the controls onto the main window: the list into the tab strip's client area
    /// (top + 3, height - 33), the pickers and the button into the tab row, the labels into the
    /// status frame.
    void placeControls(QWidget* window, const QRect& clientArea, QWidget* statusFrame);
    /// Shows or hides all eight controls.
    void setControlsVisible(bool visible);
    /// Sets the list's width (the line below it follows).
    void setListWidth(int width);
    /// The data plan's line below the list (empty: no plan).
    void showPlan(const QString& text);
    /// Where the chart window keeps its size (null: nowhere; it must outlive the view).
    void setChartSize(QSize* size) { chartSize_ = size; }
    /// The chart window once "Chart" was clicked; null before.
    UsageChartWindow* chartWindow() const { return chart_; }

    // UsageViewPort
    void showYears(const QStringList& entries, int selected) override;
    void showMonth(const QList<Row>& rows) override;
    void showFirstRow(const Row& row) override;
    void showTotals(const QString& total, const QString& average) override;
    void markDays(const QMap<QDate, QString>& tooltips) override;
    void selectMonth(int index) override;
    void selectYear(int year) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showButtonPressed();
    void fitLabels();
    void placePlanLine();

    DailyUsage& daily_;

    QTreeWidget* ListView2 = nullptr;
    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QToolButton* Command3 = nullptr;
    QLabel* lblUsage[2] = {};
    QLabel* lblUsageVal[2] = {};
    QLabel* lblPlan = nullptr;       ///< the data plan's use, below the list
    QPushButton* cmdChart = nullptr; ///< opens the usage chart, right of lblPlan
    QSize* chartSize_ = nullptr;
    QPointer<UsageChartWindow> chart_; ///< on the main window; goes with this view
};
