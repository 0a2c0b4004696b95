#pragma once

#include "capture/FrameHandler.h"
#include "platform/DeferredMessageBoxes.h"
#include "settings/Form2Host.h"
#include "shell/ShellServices.h"
#include "usage/UnwatchedTraffic.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class AdapterMonitor;
class CaptureLoss;
class CaptureLossView;
class CoverageLog;
class ConnectionListView;
class DailyUsage;
class SpeedSampler;
class Statistics;
class StatsPanel;
class TabLayout;
class TrafficGraph;
class UsageLogView;
class QAction;
class QDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabBar;
class PictureBox;
class Settings;
class TrayController;
class clsUsageLogger;
class frmStopWatch;
class CursorSource;
class Toolbar;

/// The main window: owns the capture component, the settings, the counters, the timers, the
/// usage logger and the notification icon. load() is the start-up sequence, unload() the
/// orderly shutdown.
class Form1 final : public QWidget, public Form2Host {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    /// How start-up ended.
    enum class StartResult {
        Running, ///< the window is up (or hidden in the notification area)
        Ended    ///< a start check ended the process; nothing was shown or written
    };

    /// Builds the controls (hidden); nothing starts before load().
    explicit Form1(ShellServices& services, QWidget* parent = nullptr);
    ~Form1() override;

    /// The start-up sequence. Ended: the caller ends the process at once.
    StartResult load();
    /// The orderly shutdown; runs once, later calls do nothing. Emits unloaded().
    void unload();
    /// "Exit": shuts down whatever close-to-tray says, and closes the window.
    void exitProgram();

    /// Restores the window if it is minimised or hidden and brings it to the front.
    void restoreAndRaise();
    /// Shows a dialog modally, owned by the main window, restoring the window first.
    int showOwnedDialog(QDialog& dialog);
    /// Opens the settings dialog as the "Settings" command does and waits until it is closed.
    void openSettings();
    /// Handles a mouse message from the notification icon (514, 515, 517).
    void onTrayMessage(int message);

    /// Starts capture on the configured adapter; true when it runs.
    bool startMonitoring();
    /// The capture component ended capture on its own.
    void OnCaptureAborted();
    /// Selects a tab (1 "Bytes", 2 "Packets", 3 "Log") and lays the window out for it.
    void selectTab(int index);

    /// A toolbar button was switched on (pressed) or off: applies its effect.
    void toolbarClicked(int index, bool pressed);
    /// "Freeze Display": labels, speed and packet list stand still; on release the counters
    /// catch up at once.
    void setDisplayFrozen(bool frozen);
    /// "Resolve IP": addresses shown as host names.
    void setResolveNames(bool on);
    /// "Always on top": keeps the window above others; place, size, tab and visibility stay.
    void setAlwaysOnTop(bool on);
    bool displayFrozen() const;
    bool resolveNames() const;
    bool isTopmost() const { return gIsTopmost; }
    /// The toolbar.
    Toolbar& toolbar() { return *toolbar_; }
    /// Puts the stopwatch window back on top when its own "Always on top" box is ticked.
    std::function<void()> stopwatchBackOnTop;

    /// The 100 ms sampling tick.
    void timer1Tick();
    /// The 1 s housekeeping tick: day check, duration, list ageing.
    void timer2Tick();

    // Form2Host
    CaptureComponent& capture() override { return *KRX; }
    Settings& settings() override { return *settings_; }
    MessageBoxes& messageBoxes() override { return services_.boxes; }
    bool monitoringInProgress() const override;
    void setMonitoringInProgress(bool monitoring) override;
    void setLocalAddresses(const QStringList& addresses) override;
    void setTooltipText(const QString& text) override;
    void showBaloonTip(const QString& text, const QString& title, int icon) override;
    void updateStats(bool force) override;
    void listLogFile() override;
    void displaySpeed() override;
    void setSpeedFrameCaption(const QString& caption) override;
    const InterfaceCounters* interfaceCounters() const override { return services_.interfaceCounters; }

    /// The frame path (counters, local addresses, switches).
    FrameHandler& frames() { return frames_; }
    /// The capture component; null before load() created it.
    CaptureComponent* captureComponent() const { return KRX.get(); }
    /// The recovery side (Timer3); null before load().
    AdapterMonitor* monitor() const { return monitor_.get(); }
    /// The notification icon's rules.
    TrayController& tray() { return *tray_; }
    /// The usage logger; null before load() and after unload().
    clsUsageLogger* usageLogger() const { return usageLogger_.get(); }
    /// The statistics of the "Bytes" tab.
    Statistics& statistics() { return *statistics_; }
    /// The speed sampler run by Timer1.
    SpeedSampler& sampler() { return *sampler_; }
    /// True once unload() has run.
    bool isUnloaded() const { return unloaded_; }
    /// The stopwatch window; null before start-up created it and after shutdown.
    frmStopWatch* stopwatchWindow() const { return stopwatchWindow_.get(); }
    /// "Stopwatch" button and menu command: opens the stopwatch window.
    void openStopwatch();
    /// "About.." menu command: shows the about window and waits until it is closed.
    void openAbout();
    /// The strip chart and the level meter; null before start-up drew them and after shutdown.
    TrafficGraph* graph() const { return graph_.get(); }
    /// The "Packets" tab's list (ListView1), its table and the address names.
    ConnectionListView& connectionList() { return *connectionList_; }
    /// Frames the capture could not deliver, for the run and the day.
    CaptureLoss& captureLoss() { return *captureLoss_; }

    QTimer Timer1; ///< sampling tick, 100 ms
    QTimer Timer2; ///< housekeeping tick, 1000 ms

signals:
    /// The shutdown sequence has finished; the process may end.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    bool loadPhaseB();
    void centre();
    void minimiseOrHide();
    bool canHideInTray() const;
    void onBatchEnd();
    void commandClose();
    void applySwitchesToFrames();
    void createStopwatch();
    void setUpUsageLog();
    void keepDayAccounting();
    /// Monitoring has just started: books what the adapter carried while not watched.
    void monitoringStarted();
    /// Monitoring of the adapter ends now: its counters are remembered as watched.
    void monitoringStopped();
    /// Books traffic not watched to the accounting day.
    void bookUnwatched(const UnwatchedTraffic::Gap& gap);

    ShellServices& services_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TrayController> tray_;
    std::unique_ptr<CaptureComponent> KRX;
    std::unique_ptr<AdapterMonitor> monitor_;
    std::unique_ptr<clsUsageLogger> usageLogger_;
    std::unique_ptr<DailyUsage> dailyUsage_;
    /// Boxes raised while frames are handled, shown once the handler has returned.
    DeferredMessageBoxes frameBoxes_{services_.boxes};
    FrameHandler frames_;
    std::unique_ptr<SpeedSampler> sampler_;
    std::unique_ptr<Statistics> statistics_;
    std::unique_ptr<frmStopWatch> stopwatchWindow_; // after the counters it reads
    std::unique_ptr<TrafficGraph> graph_;
    std::unique_ptr<TabLayout> tabLayout_;

    std::unique_ptr<CursorSource> systemCursor_;
    Toolbar* toolbar_ = nullptr;
    bool gIsTopmost = false;
    std::unique_ptr<ConnectionListView> connectionList_;
    std::unique_ptr<CaptureLoss> captureLoss_;
    CaptureLossView* captureLossView_ = nullptr;
    std::unique_ptr<CoverageLog> coverage_;
    std::unique_ptr<UnwatchedTraffic> unwatched_;
    QString watchedAdapter_; ///< the adapter monitoring last started on

    bool loaded_ = false;
    bool unloaded_ = false;
    bool exiting_ = false;

    QTabBar* TabStrip1 = nullptr;
    QWidget* clientArea_ = nullptr;
    QWidget* bytesPage_ = nullptr;
    QWidget* packetsPage_ = nullptr;
    QWidget* logPage_ = nullptr;
    StatsPanel* statsPanel_ = nullptr;
    UsageLogView* usageLogView_ = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* CmdStopwatch = nullptr;
    QMenu* mMenu = nullptr;
    QAction* mAbout = nullptr;
    QAction* mStopwatch = nullptr;
    QAction* mSettings = nullptr;
    QAction* mExit = nullptr;
};
