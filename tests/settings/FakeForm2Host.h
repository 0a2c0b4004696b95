#pragma once

#include "platform/CaptureComponent.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "settings/Form2Host.h"
#include "settings/Settings.h"

#include <QStringList>

/// The main window as the settings dialog sees it, recording what the dialog asks for.
class FakeForm2Host final : public Form2Host {
public:
    explicit FakeForm2Host(CaptureComponent& capture) : capture_(capture) {}

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
    void updateStats(bool force) override {
        calls.append(QStringLiteral("updateStats:%1|unit %2").arg(force).arg(displayUnit));
    }
    void listLogFile() override {
        calls.append(QStringLiteral("listLogFile|unit %1").arg(displayUnit));
    }
    void displaySpeed() override {
        calls.append(QStringLiteral("displaySpeed|unit %1").arg(speedUnit));
    }
    void setSpeedFrameCaption(const QString& caption) override {
        calls.append(QStringLiteral("caption:") + caption);
    }
    const InterfaceCounters* interfaceCounters() const override { return kernel; }

    qint32 displayUnit = 3; ///< stands for the formatter's process-wide unit
    qint32 speedUnit = 1;
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
    Settings settings_{displayUnit, speedUnit};
};
