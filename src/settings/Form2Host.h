#pragma once

#include <QString>
#include <QStringList>

class CaptureComponent;
class InterfaceCounters;
class MessageBoxes;
class Settings;

/// What the settings dialog needs from the monitoring session. What it changes in the settings
/// it announces through Settings::announce().
class Form2Host {
public:
    virtual ~Form2Host() = default;

    /// The capture component ("KRX").
    virtual CaptureComponent& capture() = 0;
    /// The in-memory settings the dialog reads and changes.
    virtual Settings& settings() = 0;
    /// Where the dialog's message boxes go.
    virtual MessageBoxes& messageBoxes() = 0;

    /// gMonitoringInProgress: capture is running.
    virtual bool monitoringInProgress() const = 0;
    /// Sets gMonitoringInProgress.
    virtual void setMonitoringInProgress(bool monitoring) = 0;
    /// Replaces localAddresses, which decide the direction of frames.
    virtual void setLocalAddresses(const QStringList& addresses) = 0;
    /// Sets gTooltipText, the first line of the notification icon's tip.
    virtual void setTooltipText(const QString& text) = 0;
    /// A balloon at the notification icon; icon 0 none, 1 information, 2 warning, 3 error.
    virtual void showBaloonTip(const QString& text, const QString& title, int icon) = 0;
    /// What the kernel knows of the adapters (their link speeds); null when nothing.
    virtual const InterfaceCounters* interfaceCounters() const { return nullptr; }
};
