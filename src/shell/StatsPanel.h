#pragma once

#include "speed/StatisticsView.h"

#include <QWidget>

class QLabel;
class QPushButton;

/// The statistics frame of the "Bytes" tab: the twelve counter labels lblReceived ... lblTotalH
/// under the captions "Transfer", "Data", "Headers" beside the rows "Download", "Upload",
/// "Pass-by", "Total"; lblPackets, lblDuration, lblAvgSpeed with their captions; cmdReset.
///
/// It only shows texts. The session's Statistics (src/speed/Statistics.h) decides when and what:
///   auto* panel = new StatsPanel(tabPage);
///   session.statistics().setView(panel);
///   connect(panel, &StatsPanel::resetClicked, this, [this] {
///       session.resetStatistics();
///       TabStrip1->setFocus();
///   });
/// The labels that the "Packets" tab shows as well (lblPackets, lblDuration and their captions)
/// are reachable through the accessors for the tab switch.
class StatsPanel final : public QWidget, public StatisticsView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatsPanel)

public:
    /// Builds the labels with their objectNames and the button.
    explicit StatsPanel(QWidget* parent = nullptr);

    void setCounterText(TrafficCounters::Row row, TrafficCounters::Column column,
                        const QString& text) override;
    void setPacketsText(const QString& text) override;
    void setDurationText(const QString& text) override;
    void setAvgSpeedText(const QString& text) override;

    /// One of the twelve counter labels.
    QLabel* counterLabel(TrafficCounters::Row row, TrafficCounters::Column column) const {
        return counters_[row][column];
    }
    /// lblPackets and its caption Label5.
    QLabel* lblPackets() const { return lblPackets_; }
    QLabel* Label5() const { return Label5_; }
    /// lblDuration and its caption Label3.
    QLabel* lblDuration() const { return lblDuration_; }
    QLabel* Label3() const { return Label3_; }
    /// lblAvgSpeed and its caption Label9.
    QLabel* lblAvgSpeed() const { return lblAvgSpeed_; }
    QLabel* Label9() const { return Label9_; }
    /// The "Reset Statistics" button.
    QPushButton* cmdReset() const { return cmdReset_; }

    /// Moves the packet count, the duration and the average speed with their captions out of
    /// the panel into two rows of `area` starting at `top`: "Packets: " and "Duration:" at the
    /// left; "Avg speed:" in the place and height of "Packets: ", its value at the top and
    /// height of the packet count. The three values share one column right of the widest
    /// caption. Captions are as wide as their texts, values reach to the area's right edge, so
    /// nothing is cut off.
    void placeFooter(QWidget* area, int top);

signals:
    /// "Reset Statistics" was clicked.
    void resetClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitFooter();
    void setFooterValue(QLabel* value, const QString& text);

    QWidget* footerArea_ = nullptr;
    QLabel* counters_[TrafficCounters::kRows][TrafficCounters::kColumns] = {};
    QLabel* lblPackets_ = nullptr;
    QLabel* Label5_ = nullptr;
    QLabel* lblDuration_ = nullptr;
    QLabel* Label3_ = nullptr;
    QLabel* lblAvgSpeed_ = nullptr;
    QLabel* Label9_ = nullptr;
    QPushButton* cmdReset_ = nullptr;
};
