#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class CaptureComponent;
class MessageBoxes;
class TrayController;

/// Starts capture on the configured adapter, notices when it is lost and polls until it is
/// back (Timer3). Works on the caller's adapter name and description.
class AdapterMonitor final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AdapterMonitor)

public:
    /// The program's recovery interval.
    static constexpr int kRecoveryIntervalMs = 2000;

    /// interfaceToWatch and descOfInterfaceToWatch are the settings' values; they must outlive
    /// the monitor.
    AdapterMonitor(CaptureComponent& krx, TrayController& tray, MessageBoxes& boxes,
                   QString& interfaceToWatch, QString& descOfInterfaceToWatch,
                   QObject* parent = nullptr);

    /// Starts capture on the adapter named gInterfaceToWatch; true when capture runs.
    bool startMonitoring();
    /// The capture component ended capture on its own: tell once and start polling.
    void OnCaptureAborted();
    /// One recovery poll.
    void timer3Tick();
    /// Starts polling for the adapter.
    void startRecovery() { Timer3.start(); }

    /// Changes the polling interval (tests use a short one).
    void setRecoveryInterval(int ms) { Timer3.setInterval(ms); }

    bool gMonitoringInProgress = false; ///< capture is running
    QString gTooltipText;               ///< the adapter description, the tip's first line
    QStringList localAddresses;         ///< the monitored adapter's IPv4 addresses
    QTimer Timer3;                      ///< recovery poll, running only while waiting

signals:
    /// The adapter's addresses were taken over (they decide the direction of frames).
    void localAddressesChanged(const QStringList& addresses);
    /// Capture has just started on the adapter (at start-up or by a poll).
    void monitoringStarted();

private:
    void setLocalAddresses(const QStringList& addresses);
    bool start(bool fromPoll);

    CaptureComponent& krx_;
    TrayController& tray_;
    MessageBoxes& boxes_;
    QString& interfaceToWatch_;
    QString& descOfInterfaceToWatch_;
    bool inTick_ = false;
    QString lastPollError_;
    QString lastFailure_; ///< the capture failure told last
};
