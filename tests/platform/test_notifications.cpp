// Balloons on a desktop notification service: a small server of the test's own on a private
// D-Bus session bus (dbus-daemon) checks what the program sends.
#include "platform/DBusNotifications.h"
#include "support/TestApp.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>

namespace {

/// The service side of org.freedesktop.Notifications: ids as the desktop notification protocol
/// gives them (a replaces_id of an open message keeps its id).
class NotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Received {
        uint replacesId;
        QString summary;
        QString body;
        QString icon;
        int timeout;
        int urgency;
        uint id;
    };
    QList<Received> notifies;
    QList<uint> closes;
    QMap<uint, QString> open; ///< id -> summary of the messages on screen

public slots:
    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        Q_UNUSED(app);
        Q_UNUSED(actions);
        const uint id = replacesId != 0 && open.contains(replacesId) ? replacesId : ++lastId_;
        open[id] = summary;
        notifies.append({replacesId, summary, body, icon, timeout,
                         hints.contains(QStringLiteral("urgency"))
                             ? hints.value(QStringLiteral("urgency")).toInt()
                             : -1,
                         id});
        return id;
    }
    void CloseNotification(uint id) {
        closes.append(id);
        open.remove(id);
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint lastId_ = 0;
};

/// A private session bus with the test's notification server on it.
class NotificationBus : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp<QCoreApplication>();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        ASSERT_TRUE(dir_.isValid());
        bus_.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address",
                            "--address=unix:path=" + dir_.path() + "/bus"});
        ASSERT_TRUE(bus_.waitForStarted(10000));
        QByteArray out;
        while (!out.contains('\n') && bus_.waitForReadyRead(10000))
            out += bus_.readAllStandardOutput();
        address_ = QString::fromLatin1(out.trimmed());
        ASSERT_FALSE(address_.isEmpty()) << bus_.readAllStandardError().toStdString();

        QDBusConnection server = QDBusConnection::connectToBus(address_, QStringLiteral("srv"));
        ASSERT_TRUE(server.isConnected()) << server.lastError().message().toStdString();
        ASSERT_TRUE(server.registerObject(QLatin1String(DBusNotifications::kPath), &server_,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QLatin1String(DBusNotifications::kService)));
        QDBusConnection client = QDBusConnection::connectToBus(address_, QStringLiteral("cli"));
        ASSERT_TRUE(client.isConnected());
        notifications_ = std::make_unique<DBusNotifications>(client);
    }
    void TearDown() override {
        notifications_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("cli"));
        QDBusConnection::disconnectFromBus(QStringLiteral("srv"));
        if (bus_.state() != QProcess::NotRunning) {
            bus_.terminate();
            bus_.waitForFinished(5000);
        }
    }
    bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    QTemporaryDir dir_;
    QProcess bus_;
    QString address_;
    NotificationServer server_;
    std::unique_ptr<DBusNotifications> notifications_;
};

} // namespace

TEST_F(NotificationBus, EachBalloonReplacesTheLastAtNormalUrgencyWithATimeout) {
    DBusNotifications& n = *notifications_;
    EXPECT_TRUE(n.isAvailable());
    struct Balloon {
        const char* title;
        const char* text;
        int icon;
        const char* iconName;
    };
    const Balloon balloons[] = {{"Monitoring", "eth0", 1, "dialog-information"},
                                {"Adapter lost", "eth0 went down", 3, "dialog-error"},
                                {"No adapter selected", "Please select", 2, "dialog-warning"}};
    int sent = 0;
    for (const Balloon& b : balloons) {
        SCOPED_TRACE(b.title);
        n.show(QString::fromLatin1(b.title), QString::fromLatin1(b.text), b.icon, 10000);
        ++sent;
        ASSERT_TRUE(waitFor([&] { return server_.notifies.size() == sent && n.shownId() != 0; }));
        const NotificationServer::Received& got = server_.notifies.last();
        EXPECT_EQ(got.summary, QString::fromLatin1(b.title));
        EXPECT_EQ(got.body, QString::fromLatin1(b.text));
        EXPECT_EQ(got.icon, QString::fromLatin1(b.iconName));
        EXPECT_EQ(got.urgency, 1); // never critical: that one stays until dismissed
        EXPECT_EQ(got.timeout, 10000);
        if (sent > 1) {
            EXPECT_EQ(got.replacesId, server_.notifies[sent - 2].id);
        }
        ASSERT_EQ(server_.open.size(), 1);
        EXPECT_EQ(server_.open.first(), QString::fromLatin1(b.title));
    }
    n.close();
    ASSERT_TRUE(waitFor([&] { return server_.open.isEmpty(); }));
    EXPECT_EQ(server_.closes.size(), 1);
}

TEST_F(NotificationBus, BalloonsInQuickSuccessionLeaveOnlyTheNewest) {
    DBusNotifications& n = *notifications_;
    // As the icon rules do it: each balloon takes the last one down, then shows.
    for (const char* title : {"Monitoring", "Adapter lost", "Monitoring", "Adapter lost"}) {
        n.close();
        n.show(QString::fromLatin1(title), QStringLiteral("eth0"), 1, 10000);
    }
    ASSERT_TRUE(waitFor([&] {
        return server_.open.size() == 1 && server_.open.first() == QStringLiteral("Adapter lost") &&
               n.shownId() == server_.open.firstKey();
    }));
    QTest::qWait(300);
    EXPECT_EQ(server_.open.size(), 1);
}

TEST_F(NotificationBus, NoBalloonStaysUpLongerThanItsTime) {
    DBusNotifications& n = *notifications_;
    n.show(QStringLiteral("Adapter lost"), QStringLiteral("eth0"), 3, 300);
    ASSERT_TRUE(waitFor([&] { return server_.open.size() == 1; }));
    // A server that keeps it (as many do for errors) is asked to close it.
    ASSERT_TRUE(waitFor([&] { return server_.open.isEmpty(); }));
    EXPECT_EQ(server_.closes.size(), 1);
    EXPECT_EQ(n.shownId(), 0u);
}

TEST(Notifications, WithoutAServiceNothingIsAvailable) {
    ensureApp<QCoreApplication>();
    DBusNotifications n(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                      QStringLiteral("none")));
    EXPECT_FALSE(n.isAvailable());
    // Showing and closing without a service neither fails nor remembers a notice.
    n.show(QStringLiteral("t"), QStringLiteral("x"), 1, 100);
    EXPECT_EQ(n.shownId(), 0u);
    n.close();
    EXPECT_EQ(n.shownId(), 0u);
    EXPECT_FALSE(n.isAvailable());
}

#include "test_notifications.moc"
