#include "monitor/AdapterMonitor.h"

#include "monitor/TrayController.h"
#include "platform/CaptureComponent.h"
#include "platform/MessageBoxes.h"

AdapterMonitor::AdapterMonitor(CaptureComponent& krx, TrayController& tray, MessageBoxes& boxes,
                               QString& interfaceToWatch, QString& descOfInterfaceToWatch,
                               QObject* parent)
    : QObject(parent), krx_(krx), tray_(tray), boxes_(boxes), interfaceToWatch_(interfaceToWatch),
      descOfInterfaceToWatch_(descOfInterfaceToWatch) {
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(kRecoveryIntervalMs);
    connect(&Timer3, &QTimer::timeout, this, &AdapterMonitor::timer3Tick);
}

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
        if (adapter.Addresses.isEmpty()) {
            setLocalAddresses(QStringList{QString()});
            return false;
        }
        QStringList addresses;
        for (const AdapterAddress& a : adapter.Addresses)
            addresses.append(a.IPAddress);
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
