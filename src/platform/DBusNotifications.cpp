#include "platform/DBusNotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

/// Icon names of the freedesktop icon naming rules for the balloon icons 1..3.
QString iconName(int icon) {
    switch (icon) {
    case 1:
        return QStringLiteral("dialog-information");
    case 2:
        return QStringLiteral("dialog-warning");
    case 3:
        return QStringLiteral("dialog-error");
    default:
        return QString();
    }
}
} // namespace

DBusNotifications::DBusNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    expiry_.setSingleShot(true);
    connect(&expiry_, &QTimer::timeout, this, &DBusNotifications::close);
}

DBusNotifications::~DBusNotifications() = default;

bool DBusNotifications::isAvailable() const {
    if (!bus_.isConnected() || bus_.interface() == nullptr)
        return false;
    const QString service = QLatin1String(kService);
    if (bus_.interface()->isServiceRegistered(service).value())
        return true;
    return bus_.interface()->activatableServiceNames().value().contains(service);
}

void DBusNotifications::show(const QString& title, const QString& text, int icon, int timeoutMs) {
    const Message message{title, text, icon, qMax(timeoutMs, 1)};
    expiry_.start(message.timeoutMs);
    if (waiting_) {
        next_ = message;
        hasNext_ = true;
        closeAfter_ = false;
        return;
    }
    send(message);
}

void DBusNotifications::send(const Message& message) {
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService),
                                                      QLatin1String(kPath), kInterface,
                                                      QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1))); // normal
    call << QStringLiteral("Quelmint") << shownId_ << iconName(message.icon) << message.title
         << message.text << QStringList() << hints << message.timeoutMs;
    waiting_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                answered(reply.isValid() ? reply.value() : 0);
            });
}

void DBusNotifications::answered(uint id) {
    waiting_ = false;
    shownId_ = id;
    if (hasNext_) {
        hasNext_ = false;
        send(next_);
    } else if (closeAfter_) {
        closeAfter_ = false;
        close();
    }
}

void DBusNotifications::close() {
    expiry_.stop();
    if (waiting_) {
        hasNext_ = false;
        closeAfter_ = true;
        return;
    }
    if (shownId_ == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService),
                                                      QLatin1String(kPath), kInterface,
                                                      QStringLiteral("CloseNotification"));
    call << shownId_;
    bus_.asyncCall(call);
    shownId_ = 0;
}
