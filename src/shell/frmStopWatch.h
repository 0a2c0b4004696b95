#pragma once

#include "capture/TrafficCounters.h"
#include "speed/Stopwatch.h"
#include "speed/StopwatchView.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class Clock;
class QCheckBox;
class QLabel;
class QPushButton;

/// The stopwatch window "Quelmint StopWatch": Start/Stop (Command1), Close (Command2), "Always
/// on top" (Check1 with its label Label3), the elapsed time (Label1), the animation (Picture1),
/// the average speed (lblAvgSpeed) and the figures lblTransfer0..3, lblData0..3,
/// lblOverhead0..3 (rows 0 download, 1 upload, 2 pass-by, 3 total).
///
/// The main window creates it hidden at start-up and keeps it: closing only stops and hides it.
/// @code
/// stopwatchWindow = std::make_unique<frmStopWatch>(clock, frames.stopwatchCounters, units);
/// stopwatchWindow->mainWindowTopmost = [this] { return isTopmost(); };
/// connect(&session, &MonitorSession::countersRefreshed,
///         [this] { stopwatchWindow->updateStopwatchStats(); });
/// // "Stopwatch" button and menu command: stopwatchWindow->openFromMainWindow();
/// // Shutdown: stopwatchWindow->unloadWindow(); stopwatchWindow.reset();
/// @endcode
class frmStopWatch final : public QWidget, public StopwatchView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmStopWatch)

public:
    /// counters is the never-reset stopwatch set; clock, counters and units must outlive the
    /// window.
    frmStopWatch(const Clock& clock, const TrafficCounters& counters, const DisplayUnits& units,
                 QWidget* parent = nullptr);
    ~frmStopWatch() override;

    /// Opening from the main window: zero figures and "Start" when the window was not
    /// visible; topmost with the box ticked when the main window stays on top; then shown.
    void openFromMainWindow();
    /// Refreshes the figures while running (after counted frames, once per batch).
    void updateStopwatchStats() { stopwatch_.updateStopwatchStats(); }
    /// Ticks or clears "Always on top" and makes the window topmost or not accordingly.
    void setTopmost(bool on);
    /// True while the "Always on top" box is ticked.
    bool isTopmostChecked() const;
    /// True while the window is in the topmost band.
    bool isTopmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    /// Program exit: stops and closes the window for good.
    void unloadWindow();

    /// The measurement behind the window.
    Stopwatch& stopwatch() { return stopwatch_; }
    /// Animation picture shown (1..12).
    int shownPicture() const { return shownPicture_; }

    // StopwatchView
    void setFigureText(TrafficCounters::Row row, TrafficCounters::Column column,
                       const QString& text) override;
    void setElapsedText(const QString& text) override;
    void setPicture(int index) override;
    void setAvgSpeedText(const QString& text) override;

    /// Ticks every 100 ms while the stopwatch runs.
    QTimer Timer1;

    /// True when the main window is set always on top.
    std::function<bool()> mainWindowTopmost;
    /// Puts the main window back in the topmost band (after this window left it).
    std::function<void()> restoreMainTopmost;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void command1Click();
    void stopAndHide();
    void applyTopmost(bool on);

    Stopwatch stopwatch_;
    const DisplayUnits& units_;
    std::array<QPixmap, Stopwatch::kPictures> pictures_;
    int shownPicture_ = 0;
    bool unloading_ = false;
    bool positioned_ = false;

    QLabel* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* labels_[TrafficCounters::kRows][TrafficCounters::kColumns] = {};
    QLabel* lblAvgSpeed = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
