#include "monitor/AdapterMonitor.h"

#include "monitor/TrayController.h"
#include "platform/CaptureComponent.h"
#include "platform/MessageBoxes.h"

#include <algorithm>

AdapterMonitor::AdapterMonitor(CaptureComponent& krx, TrayController& tray, MessageBoxes& boxes,
                               QString& interfaceToWatch, QString& descOfInterfaceToWatch,
                               const bool& countIPv6, QObject* parent)
    : QObject(parent), krx_(krx), tray_(tray), boxes_(boxes), interfaceToWatch_(interfaceToWatch),
      descOfInterfaceToWatch_(descOfInterfaceToWatch), countIPv6_(countIPv6) {
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(kRecoveryIntervalMs);
    connect(&Timer3, &QTimer::timeout, this, &AdapterMonitor::timer3Tick);
}

namespace {
QStringList addressesOf(const Adapter& adapter) {
    QStringList addresses;
    for (const AdapterAddress& a : adapter.Addresses)
        addresses.append(a.IPAddress);
    return addresses;
}
bool isIpv6(const QString& address) {
    return address.contains(QLatin1Char(':'));
}
} // namespace

void AdapterMonitor::setLocalAddresses(const QStringList& addresses) {
    localAddresses = addresses;
    emit localAddressesChanged(localAddresses);
}

bool AdapterMonitor::startMonitoring() {
    return start(false);
}

bool AdapterMonitor::start(bool fromPoll) {
    try {
        const QList<Adapter>& adapters = krx_.Adapters();
        const Adapter* found = nullptr;
        for (const Adapter& a : adapters) {
            if (a.Name == interfaceToWatch_) {
                found = &a;
                break;
            }
        }
        if (found == nullptr) {
            tray_.showBaloonTip(descOfInterfaceToWatch_ + QStringLiteral("\r\nnot found"),
                                QStringLiteral("Adapter not found"), TrayController::Error);
            tray_.showNoAdapter();
            return false;
        }
        const Adapter adapter = *found; // the list may be refreshed by what follows
        krx_.setActiveAdapter(adapter);
        descOfInterfaceToWatch_ = adapter.Description;
        gTooltipText = adapter.Description; // the tip cuts it to what it can show
        const QStringList addresses = addressesOf(adapter);
        // IPv6 addresses alone make no adapter worth capturing while IPv6 is not counted.
        if (addresses.isEmpty() ||
            (!countIPv6_ && std::all_of(addresses.cbegin(), addresses.cend(), isIpv6))) {
            setLocalAddresses(QStringList{QString()});
            return false;
        }
        setLocalAddresses(addresses);
        krx_.StartCapture();
        gMonitoringInProgress = true;
        lastPollError_.clear();
        emit monitoringStarted();
        tray_.showBaloonTip(adapter.Description, QStringLiteral("Monitoring"),
                            TrayController::Information);
        return true;
    } catch (const CaptureError& e) {
        // A poll that fails the same way every 2 s (no capture privilege, say) tells once.
        if (!fromPoll || e.description() != lastPollError_) {
            lastPollError_ = e.description();
            boxes_.error(QStringLiteral("startMonitoring"), e.description(),
                         fromPoll ? ErrorSource::Repeating : ErrorSource::UserAction);
        }
        return false;
    } catch (const std::exception& e) {
        boxes_.error(QStringLiteral("startMonitoring"), QString::fromLocal8Bit(e.what()),
                     fromPoll ? ErrorSource::Repeating : ErrorSource::UserAction);
        return false;
    }
}

void AdapterMonitor::addressesChanged() {
    // Not capturing: the next start reads them.
    if (!gMonitoringInProgress)
        return;
    try {
        krx_.RefreshAdapters();
        for (const Adapter& a : krx_.Adapters()) {
            if (a.Name != interfaceToWatch_)
                continue;
            QStringList addresses = addressesOf(a);
            if (addresses.isEmpty())
                addresses.append(QString());
            if (addresses != localAddresses)
                setLocalAddresses(addresses);
            return;
        }
    } catch (const std::exception&) {
        // The list stays as it was; the next change reads it again.
    }
}

void AdapterMonitor::OnCaptureAborted() {
    gMonitoringInProgress = false;
    // The capture itself failed (its helper died, say): say why, once for the same reason.
    const QString failure = krx_.takeFailure();
    if (!failure.isEmpty() && failure != lastFailure_) {
        lastFailure_ = failure;
        boxes_.error(QStringLiteral("OnCaptureAborted"), failure, ErrorSource::Repeating);
    }
    tray_.showBaloonTip(QStringLiteral("Monitoring stopped on\r\n") + descOfInterfaceToWatch_ +
                            QStringLiteral("\r\n"),
                        QStringLiteral("Adapter lost"), TrayController::Error);
    tray_.showNoAdapter();
    try {
        krx_.RefreshAdapters();
    } catch (const std::exception&) {
        // The poll refreshes again.
    }
    Timer3.start();
}

void AdapterMonitor::timer3Tick() {
    // A tick that waits in a message box must not be entered again by the next one.
    if (inTick_)
        return;
    // Capture was started meanwhile (by the settings dialog): nothing left to recover.
    if (gMonitoringInProgress) {
        Timer3.stop();
        return;
    }
    inTick_ = true;
    try {
        if (krx_.AdapterPresent(interfaceToWatch_)) {
            try {
                krx_.RefreshAdapters();
            } catch (const std::exception&) {
            }
            if (start(true))
                Timer3.stop();
        }
    } catch (const std::exception&) {
        // Poll again at the next tick.
    }
    inTick_ = false;
}
