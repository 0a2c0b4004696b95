#pragma once

#include "capture/CaptureLoss.h"
#include "capture/FrameHandler.h"
#include "connections/PacketList.h"
#include "monitor/RefreshPacer.h"
#include "monitor/ShellServices.h"
#include "monitor/TrayController.h"
#include "platform/CaptureComponent.h"
#include "platform/DeferredMessageBoxes.h"
#include "settings/Form2Host.h"
#include "settings/Settings.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"
#include "speed/Statistics.h"
#include "usage/DailyUsage.h"

#include <QObject>
#include <QTimer>

#include <memory>

class AdapterMonitor;
class CoverageKeeper;
class PlanController;
class TrafficGraph;
class clsUsageLogger;

/// The monitoring session: everything the program counts, keeps and decides, without a widget.
/// It owns the capture component KRX, the frame path (FrameHandler and its counters), the
/// statistics, the speed sampler and its graph, the packet list with its name cache, the daily
/// usage accounting and its store, the coverage and not-watched bookkeeping, the data plan, the
/// frames lost by the capture, the adapter monitor (Timer3) and the notification icon's rules, and
/// runs the sampling tick Timer1 (100 ms) and the housekeeping tick Timer2 (1 s). Windows register
/// as views (Statistics, DailyUsage), follow its signals and forward the user's actions to it.
///
/// Start-up, in the order of the main window's load: open() (the start checks), loadStores(),
/// applyStoredFilter(), startAccounting() (after the "Log" tab registered), startTicks(),
/// beginMonitoring(). Shutdown: stopCapture(), closeStores(), registerRunAtLogon().
class MonitorSession final : public QObject, public CaptureEvents, public Form2Host {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MonitorSession)

public:
    /// Nothing starts before open(); services must outlive the session.
    explicit MonitorSession(ShellServices& services, QObject* parent = nullptr);
    ~MonitorSession() override;

    // Start-up and shutdown.
    /// The start checks: the capture library, the single instance, the capture component.
    /// False when the process must end (after the box that says why; nothing was written).
    bool open();
    /// The usage log and its bookkeeping, then the stored settings ("Error in Load:" names the
    /// values that could not be used).
    void loadStores();
    /// The stored capture filter. One the component rejects is said once and capture goes on
    /// without a filter; the stored one stays as it is until it is changed in Settings.
    void applyStoredFilter();
    /// The accounting day starts today; the "Log" tab (if registered) lists today's month.
    void startAccounting();
    /// The graph (pictureWidth as the chart picture), the first sample's reference, Timer1 and
    /// Timer2.
    void startTicks(int pictureWidth);
    /// After a failed start-up: the housekeeping tick runs all the same (day changes).
    void keepHousekeeping();
    /// Resets the statistics, adds the icon and starts capture on the configured adapter (or
    /// polls for it). False when no adapter is configured: the user is asked with a balloon.
    bool beginMonitoring();
    /// Shutdown, first part: ticks stopped, frames ignored from now on, capture stopped.
    void stopCapture();
    /// Shutdown, second part: graph released, settings saved, icon removed, the bookkeeping and
    /// the usage log committed.
    void closeStores();
    /// Shutdown, last step: the start-at-log-on entry is rewritten (or removed when the setting
    /// is off).
    void registerRunAtLogon();

    // The user's actions.
    /// "Reset Statistics" (and the day change with "ResetStatsAtNewDay").
    void resetStatistics();
    /// "Freeze Display": labels, speed and packet list stand still; on release the counters
    /// catch up at once.
    void setDisplayFrozen(bool frozen);
    bool displayFrozen() const { return statistics_.displayFrozen(); }
    /// "Resolve IP": addresses shown as host names.
    void setResolveNames(bool on) { packetList_.setResolveNames(on); }
    bool resolveNames() const { return packetList_.resolveNames(); }
    /// Starts capture on the configured adapter; true when it runs.
    bool startMonitoring();
    /// Whether the packet list takes part in the frame path (always in the program; the replay
    /// tool measures the path without it unless asked).
    void setPacketListing(bool on) { listing_ = on; }
    /// Opens the usage log in folder (the replay tool; the program chooses it in loadStores()).
    void openUsageLog(const QString& folder);

    // The ticks.
    /// Timer1: every 100 ms; a speed sample every 10th tick.
    void timer1Tick();
    /// Timer2: every second: day check, duration, frames lost and coverage, list ageing.
    void timer2Tick();

    // CaptureEvents: the frame path.
    void OnPacket(const Packet& packet) override;
    /// A batch ended: the window is refreshed now or, within 50 ms of the last refresh, once
    /// those have passed (frames are counted as they come either way).
    void OnBatchEnd() override;
    /// Shows what was counted: labels, the packet list, today's row and totals.
    void refreshViews();
    void OnCaptureAborted() override;

    // Form2Host
    CaptureComponent& capture() override { return *KRX; }
    Settings& settings() override { return settings_; }
    MessageBoxes& messageBoxes() override { return services_.boxes; }
    bool monitoringInProgress() const override;
    /// What the status frame says while nothing is monitored ("No adapter selected", "Adapter
    /// eth0 lost: waiting for it to come back"); empty while monitoring.
    QString monitoringStatus() const;
    void setMonitoringInProgress(bool monitoring) override;
    void setLocalAddresses(const QStringList& addresses) override;
    void setTooltipText(const QString& text) override;
    void showBaloonTip(const QString& text, const QString& title, int icon) override;
    const InterfaceCounters* interfaceCounters() const override {
        return services_.interfaceCounters;
    }

    // What the windows show.
    const DisplayUnits& units() const { return units_; }
    const FrameHandler& frames() const { return frames_; }
    Statistics& statistics() { return statistics_; }
    SpeedSampler& sampler() { return sampler_; }
    PacketList& packetList() { return packetList_; }
    const CaptureLoss& captureLoss() const { return captureLoss_; }
    TrayController& tray() { return tray_; }
    /// Null before start-up made them, and after shutdown.
    DailyUsage* dailyUsage() const { return daily_.get(); }
    clsUsageLogger* usageLogger() const { return usageLogger_.get(); }
    /// The data plan's use and warnings; null before the usage log was opened.
    PlanController* plan() const { return plan_.get(); }
    TrafficGraph* graph() const { return graph_.get(); }
    AdapterMonitor* monitor() const { return monitor_.get(); }
    CaptureComponent* captureComponent() const { return KRX.get(); }

    QTimer Timer1; ///< sampling tick, 100 ms
    QTimer Timer2; ///< housekeeping tick, 1000 ms

signals:
    /// A batch of frames was counted; labels, list and usage are refreshed.
    void batchEnded();
    /// The packet list changed in the batch: the row of its latest packet, and whether the
    /// number of rows changed.
    void packetListChanged(int latestRow, bool rowsAdded);
    /// The statistics are being refreshed (the stopwatch window refreshes its figures).
    void countersRefreshed();
    /// A speed sample was taken (once a second).
    void sampleTaken();
    /// The graph's images changed or are due to be copied to the screen.
    void graphChanged();
    /// The statistics were reset.
    void statisticsReset();
    /// The accounting day moved.
    void dayChanged(const QDate& day);
    /// Capture started or stopped.
    void monitoringChanged(bool monitoring);
    /// The capture component ended capture on its own (the adapter was lost).
    void captureLost();
    /// Frames lost by the capture since start-up or the last reset.
    void captureLossChanged(quint64 runCount);
    /// An error of the frame path was reported (its box shows once the handler returned).
    void errorRaised(const QString& procedure, const QString& description);

private:
    struct FramePath;
    void handle(const Packet& packet);
    void report(const QString& procedure, const QString& description, bool repeating);
    void applySettings(Settings::Changes what);
    void showSample(int picture, double total);
    void monitoringStarted();
    void monitoringStopped();
    QDate accountingDay() const;
    /// Books the IPv6 traffic not counted since the last call to the day it was seen on; true
    /// when the "Log" tab's marks are due to show it.
    bool bookIpv6NotCounted(const QDate& day);
    void tickPlan();

    ShellServices& services_;
    Settings settings_;
    DisplayUnits units_;
    TrayController tray_;
    /// Boxes raised while frames are handled, shown once the handler has returned.
    DeferredMessageBoxes frameBoxes_{services_.boxes};
    std::unique_ptr<CaptureComponent> KRX;
    std::unique_ptr<AdapterMonitor> monitor_;
    FrameHandler frames_;
    SpeedSampler sampler_;
    Statistics statistics_;
    std::unique_ptr<TrafficGraph> graph_;
    PacketList packetList_;
    CaptureLoss captureLoss_;
    std::unique_ptr<clsUsageLogger> usageLogger_;
    std::unique_ptr<DailyUsage> daily_;
    std::unique_ptr<CoverageKeeper> coverage_;
    FrameHandler::NotCounted ipv6Booked_; ///< what of frames_.ipv6NotCounted is booked
    QDate ipv6MarkedDay_;                 ///< the day whose marks last showed IPv6 not counted
    int ipv6TicksUnmarked_ = 0;           ///< ticks with IPv6 booked since the marks showed it
    std::unique_ptr<PlanController> plan_;
    bool listing_ = true;
    bool shuttingDown_ = false;
    bool reportedThisBatch_ = false;
    RefreshPacer pacer_; // last: its refresh uses everything above
};
