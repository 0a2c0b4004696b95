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

    /// interfaceToWatch, descOfInterfaceToWatch and countIPv6 are the settings' values; they
    /// must outlive the monitor.
    AdapterMonitor(CaptureComponent& krx, TrayController& tray, MessageBoxes& boxes,
                   QString& interfaceToWatch, QString& descOfInterfaceToWatch,
                   const bool& countIPv6, QObject* parent = nullptr);

    /// Starts capture on the adapter named gInterfaceToWatch; true when capture runs. An
    /// adapter without an address that is counted (an IPv4 address, or while IPv6 is counted
    /// any address) is not captured.
    bool startMonitoring();
    /// The adapters' addresses changed: while capturing, localAddresses follow the adapter's.
    void addressesChanged();
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
    QStringList localAddresses;         ///< the monitored adapter's IPv4 and IPv6 addresses
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
    const bool& countIPv6_;
    bool inTick_ = false;
    QString lastPollError_;
    QString lastFailure_; ///< the capture failure told last
};
