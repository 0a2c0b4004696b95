#pragma once

#include "platform/Notifications.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

/// Notifications through org.freedesktop.Notifications on a D-Bus session bus (KDE Plasma,
/// GNOME, XFCE and others). Each message is sent with replaces_id set to the one shown before,
/// at normal urgency (never critical, which many desktops keep until dismissed) and with its
/// timeout; when the timeout has passed it is closed as well, for servers that ignore it.
///
/// Calls never wait for the service: a message asked for while the previous call is still
/// unanswered is sent once that answer (with the id to replace) has come, and only the newest
/// of such messages is sent.
class DBusNotifications final : public QObject, public Notifications {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DBusNotifications)

public:
    /// On the given bus (the session bus by default).
    explicit DBusNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    ~DBusNotifications() override;

    bool isAvailable() const override;
    void show(const QString& title, const QString& text, int icon, int timeoutMs) override;
    void close() override;

    /// Id the service gave the message shown now; 0 when none is shown.
    uint shownId() const { return shownId_; }

    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

private:
    struct Message {
        QString title;
        QString text;
        int icon = 0;
        int timeoutMs = 0;
    };
    void send(const Message& message);
    void answered(uint id);

    QDBusConnection bus_;
    uint shownId_ = 0;
    bool waiting_ = false;   ///< a Notify call is unanswered
    bool hasNext_ = false;   ///< next_ is to be sent when it is answered
    bool closeAfter_ = false; ///< close when it is answered
    Message next_;
    QTimer expiry_;
};
