#pragma once

#include "platform/CaptureComponent.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "settings/Form2Host.h"
#include "settings/Settings.h"

#include <QStringList>

/// The session as the settings dialog sees it, recording what the dialog asks for and what it
/// announces.
class FakeForm2Host final : public Form2Host {
public:
    explicit FakeForm2Host(CaptureComponent& capture) : capture_(capture) {
        QObject::connect(&settings_, &Settings::changed, [this](Settings::Changes what) {
            calls.append(QStringLiteral("announce %1|unit %2|speed %3")
                             .arg(int(what))
                             .arg(settings_.gDisplayUnit)
                             .arg(settings_.gSpeedUnit));
        });
    }

    CaptureComponent& capture() override { return capture_; }
    Settings& settings() override { return settings_; }
    MessageBoxes& messageBoxes() override { return boxes; }
    bool monitoringInProgress() const override { return monitoring; }
    void setMonitoringInProgress(bool on) override { monitoring = on; }
    void setLocalAddresses(const QStringList& addresses) override {
        localAddresses = addresses;
        calls.append(QStringLiteral("setLocalAddresses"));
    }
    void setTooltipText(const QString& text) override { tooltipText = text; }
    void showBaloonTip(const QString& text, const QString& title, int icon) override {
        balloons.append(title + u'|' + text + u'|' + QString::number(icon));
    }
    const InterfaceCounters* interfaceCounters() const override { return kernel; }

    FakeMessageBoxes boxes;
    bool monitoring = false;
    QStringList localAddresses;
    QString tooltipText;
    QStringList balloons;
    QStringList calls;
    /// What the kernel knows of the adapters; null: nothing.
    const InterfaceCounters* kernel = nullptr;

private:
    CaptureComponent& capture_;
    Settings settings_;
};
