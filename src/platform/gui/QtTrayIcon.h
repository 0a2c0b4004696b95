#pragma once

#include "platform/TrayIcon.h"

#include <QIcon>
#include <QObject>

#include <array>
#include <memory>

class QSystemTrayIcon;
class Notifications;

/// The notification icon over QSystemTrayIcon, with five pictures drawn at start.
/// Without a notification area the calls change nothing and balloons are dropped. Where the
/// desktop has a notification service on D-Bus, balloons go there, each replacing the last.
class QtTrayIcon final : public QObject, public TrayIcon {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtTrayIcon)

public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;

    bool isAvailable() const override;
    void add(int picture, const QString& tip) override;
    void modify(int picture, const QString& tip) override;
    void showBalloon(const QString& text, const QString& title, int icon) override;
    void hideBalloon() override;
    void remove() override;
    void setMouseHandler(MouseHandler handler) override { handler_ = std::move(handler); }

    /// Picture 1..5 as drawn (a null icon outside that range).
    static QIcon picture(int index);

private:
    void apply(int picture, const QString& tip);

    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<Notifications> notifications_;
    MouseHandler handler_;
};
