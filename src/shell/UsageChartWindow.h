#pragma once

#include <QWidget>

#include <memory>

class DailyUsage;
class QCheckBox;
class QLabel;
class QRadioButton;
class UsageChartFeed;

/// The usage chart window "Usage chart" (modeless): the month the "Log" tab lists as a bar per
/// day, or its year as a bar per month (optMonth, optYear), pass-by shown or left out
/// (chkPassby), the month or year as the title (lblChartTitle) and the chart itself
/// (picChart, drawn by UsageChart; its tooltip gives a bar's exact figures). It follows the
/// "Log" tab's listings. Its size is kept in a QSize the owner stores (the "ChartSize"
/// setting).
///
/// @code
/// auto window = std::make_unique<UsageChartWindow>(daily, &settings.gChartSize, mainWindow);
/// window->open(); // shown, raised, read again
/// @endcode
class UsageChartWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageChartWindow)

public:
    /// daily and size must outlive the window; size may be null (not kept).
    UsageChartWindow(DailyUsage& daily, QSize* size, QWidget* parent = nullptr);
    ~UsageChartWindow() override;

    /// Reads the listed month again and shows the window in front.
    void open();
    /// Reads again and repaints (a listing, the units).
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showChart();

    std::unique_ptr<UsageChartFeed> feed_;
    QSize* size_ = nullptr;
    QRadioButton* optMonth = nullptr;
    QRadioButton* optYear = nullptr;
    QCheckBox* chkPassby = nullptr;
    QLabel* lblChartTitle = nullptr;
    QWidget* picChart = nullptr;
};
