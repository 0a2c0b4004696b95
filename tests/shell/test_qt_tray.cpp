#include "support/RealProgram.h"

#include "platform/gui/QtTrayIcon.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

TEST(QtTrayIcon, FiveDistinctPictures) {
    ensureApplication();
    QList<QImage> images;
    for (int i = 1; i <= 5; ++i) {
        const QIcon icon = QtTrayIcon::picture(i);
        ASSERT_FALSE(icon.isNull()) << i;
        images.append(icon.pixmap(32, 32).toImage());
    }
    for (int a = 0; a < 5; ++a)
        for (int b = a + 1; b < 5; ++b)
            EXPECT_NE(images[a], images[b]) << a + 1 << " and " << b + 1;
    EXPECT_TRUE(QtTrayIcon::picture(0).isNull());
    EXPECT_TRUE(QtTrayIcon::picture(6).isNull());
}

TEST(QtTrayIcon, WithoutNotificationAreaEveryCallIsHarmless) {
    ensureApplication();
    QtTrayIcon icon;
    // The offscreen platform has no notification area.
    EXPECT_FALSE(icon.isAvailable());
    int clicks = 0;
    icon.setMouseHandler([&](int) { ++clicks; });
    icon.modify(2, QStringLiteral("before add"));
    icon.add(1, QString(1000, QLatin1Char('t')));
    icon.showBalloon(QStringLiteral("text\r\n"), QStringLiteral("title"), 3);
    icon.hideBalloon();
    icon.modify(5, QStringLiteral("No adapter selected"));
    icon.remove();
    icon.remove();
    EXPECT_EQ(clicks, 0);
}

namespace {

/// The tray driver under an X server of its own with trayer, a standalone notification area
/// (XEmbed), and the X tools pointed at the same screen.
class TrayOnDisplay {
public:
    /// Starts the driver with trayer beside it, or, given a D-Bus address, alone with that
    /// session bus (where a notification area may be registered).
    bool start(const QString& root, QString* why, const QString& busAddress = QString()) {
        const QString driver =
            qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/tests/shell/tray_driver");
        if (!QFile::exists(driver)) {
            *why = "tray_driver not built at " + driver;
            return false;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A real display this time, not the offscreen platform; the session bus only where
        // given.
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                 "QT_SCALE_FACTOR", "QT_FONT_DPI"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root);
        if (!busAddress.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        const QString trayer =
            busAddress.isEmpty() ? QStringLiteral("trayer --edge top --align left --widthtype "
                                                  "request --height 32 --transparent false "
                                                  "--SetDockType false --SetPartialStrut false & ")
                                 : QString();
        process_.start(QStringLiteral("xvfb-run"),
                       {"-a", "-s", "-screen 0 320x240x24", "sh", "-c",
                        trayer + QStringLiteral("exec \"$0\""), driver});
        if (!process_.waitForStarted(5000)) {
            *why = "xvfb-run did not start";
            return false;
        }
        const QByteArray first = nextLine("display ", 30000);
        const QList<QByteArray> words = first.split(' ');
        if (words.size() < 3) {
            *why = "no display from the driver: " + QString::fromLocal8Bit(first + seen_);
            return false;
        }
        xenv_ = QProcessEnvironment::systemEnvironment();
        xenv_.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(words[1]));
        xenv_.insert(QStringLiteral("XAUTHORITY"), QString::fromLocal8Bit(words[2]));
        return true;
    }

    ~TrayOnDisplay() {
        if (process_.state() != QProcess::NotRunning) {
            process_.closeWriteChannel(); // the driver ends when its input ends
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }

    /// Sends a command without waiting.
    void write(const QByteArray& command) {
        process_.write(command + '\n');
        process_.waitForBytesWritten(5000);
    }

    /// The first line not read yet that starts with `prefix`, if there is one by now; lines
    /// before it are dropped (into seen()).
    QByteArray poll(const QByteArray& prefix) { return nextLine(prefix, 0); }

    /// Sends a command and returns the driver's first line that starts with `answer`.
    QByteArray ask(const QByteArray& command, const QByteArray& answer, int timeoutMs = 15000) {
        process_.write(command + '\n');
        process_.waitForBytesWritten(5000);
        return nextLine(answer, timeoutMs);
    }

    /// Waits for a line that starts with `prefix` (lines before it are kept in seen()).
    QByteArray nextLine(const QByteArray& prefix, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        do {
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().trimmed();
                seen_ += line + '\n';
                if (line.startsWith(prefix))
                    return line;
            }
            if (process_.state() == QProcess::NotRunning || timeoutMs <= 0)
                break;
            // Events too: the driver may be waiting for an answer from this process's bus.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            process_.waitForReadyRead(20);
        } while (timer.elapsed() < timeoutMs);
        return {};
    }

    /// Runs an X tool on the driver's screen; its standard output, or empty on failure.
    QByteArray x(const QString& program, const QStringList& args, bool* ok = nullptr) const {
        QProcess p;
        p.setProcessEnvironment(xenv_);
        p.start(program, args);
        const bool done =
            p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (ok != nullptr)
            *ok = done;
        return done ? p.readAllStandardOutput() : QByteArray();
    }

    /// The icon's window in the notification area, while it is shown; else empty.
    QString iconWindow() const {
        const QList<QByteArray> ids =
            x(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--classname", "tray_driver"})
                .trimmed()
                .split('\n');
        return ids.first().isEmpty() ? QString() : QString::fromLatin1(ids.first());
    }

    /// The window's pixels as the screen shows them.
    QImage grab(const QString& window, const QString& file) const {
        bool ok = false;
        x(QStringLiteral("import"), {"-window", window, file}, &ok);
        return ok ? QImage(file) : QImage();
    }

    QByteArray seen() const { return seen_; }

private:
    QProcess process_;
    QProcessEnvironment xenv_;
    QByteArray seen_;
};

/// Pixels within 40 of the colour in each channel.
int pixelsNear(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) <= 40 &&
                         std::abs(c.green() - colour.green()) <= 40 &&
                         std::abs(c.blue() - colour.blue()) <= 40
                     ? 1
                     : 0;
        }
    return n;
}

// The colours the pictures are drawn in: green for receiving, orange for sending, red for
// no adapter.
const QColor kGreen(40, 190, 60), kOrange(230, 120, 30), kRed(210, 30, 30);

} // namespace

TEST(QtTrayIcon, ShowsChangesAndRemovesItsIconInANotificationArea) {
    for (const char* tool : {"xvfb-run", "xauth", "trayer", "xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            SKIP_OR_FAIL(std::string(tool) + " is not installed (tools/test installs it)");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    TrayOnDisplay tray;
    QString why;
    ASSERT_TRUE(tray.start(dir.path(), &why)) << why.toStdString();

    // The notification area comes up next to the driver: wait until Qt sees it.
    bool available = false;
    for (QElapsedTimer t; !available && (!t.isValid() || t.elapsed() < 30000);) {
        if (!t.isValid())
            t.start();
        available = tray.ask("available", "available ") == "available 1";
        if (!available)
            QThread::msleep(100);
    }
    ASSERT_TRUE(available) << tray.seen().data();

    // Receiving: the green arrow, no orange one.
    ASSERT_EQ(tray.ask("add 2 Quelmint\\r\\nReceiving", "done "), "done add");
    QString window;
    ASSERT_TRUE(waitUntil([&] { return !(window = tray.iconWindow()).isEmpty(); }, 30000))
        << "the icon never appeared";
    QImage shown;
    ASSERT_TRUE(waitUntil(
        [&] {
            shown = tray.grab(window, dir.filePath(QStringLiteral("receiving.png")));
            return pixelsNear(shown, kGreen) >= 10;
        },
        15000))
        << "no green in the icon";
    EXPECT_EQ(pixelsNear(shown, kOrange), 0);
    EXPECT_EQ(pixelsNear(shown, kRed), 0);
    const QString artifacts =
        qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(artifacts);
    tray.grab(QStringLiteral("root"), artifacts + QStringLiteral("/tray-receiving.png"));

    // The tip shows on the icon with its line break as one newline.
    // (The pointer comes to rest on it: the tip waits for a pause.)
    tray.x(QStringLiteral("xdotool"), {"mousemove", "--window", window, "8", "8"});
    tray.x(QStringLiteral("xdotool"), {"mousemove", "--window", window, "9", "9"});
    QByteArray tip;
    EXPECT_TRUE(waitUntil(
        [&] {
            tip = tray.ask("tooltip", "tooltip ");
            return tip.startsWith("tooltip 1");
        },
        15000))
        << tip.data();
    EXPECT_EQ(tip, "tooltip 1 Quelmint\\nReceiving");

    // Sending, then no adapter: the picture follows.
    ASSERT_EQ(tray.ask("modify 3 Sending", "done "), "done modify");
    EXPECT_TRUE(waitUntil(
        [&] {
            shown = tray.grab(window, dir.filePath(QStringLiteral("sending.png")));
            return pixelsNear(shown, kOrange) >= 10 && pixelsNear(shown, kGreen) == 0;
        },
        15000))
        << "the icon did not change to sending";
    ASSERT_EQ(tray.ask("modify 5 No adapter selected", "done "), "done modify");
    EXPECT_TRUE(waitUntil(
        [&] {
            shown = tray.grab(window, dir.filePath(QStringLiteral("noadapter.png")));
            return pixelsNear(shown, kRed) >= 10 && pixelsNear(shown, kOrange) == 0;
        },
        15000))
        << "the icon did not change to no adapter";

    // Clicks on the icon reach the mouse handler.
    tray.x(QStringLiteral("xdotool"), {"mousemove", "--window", window, "10", "12", "click", "1"});
    EXPECT_EQ(tray.nextLine("mouse ", 15000), "mouse 514");
    tray.x(QStringLiteral("xdotool"), {"click", "3"});
    EXPECT_EQ(tray.nextLine("mouse ", 15000), "mouse 517");
    tray.x(QStringLiteral("xdotool"), {"click", "--repeat", "2", "--delay", "60", "1"});
    EXPECT_EQ(tray.nextLine("mouse ", 15000), "mouse 514"); // the first press
    EXPECT_EQ(tray.nextLine("mouse ", 15000), "mouse 515");

    // Removed, the icon goes; a change afterwards does not bring it back.
    ASSERT_EQ(tray.ask("remove", "done "), "done remove");
    EXPECT_TRUE(waitUntil([&] { return tray.iconWindow().isEmpty(); }, 15000))
        << "the icon stayed after remove";
    ASSERT_EQ(tray.ask("modify 2 after remove", "done "), "done modify");
    EXPECT_TRUE(tray.iconWindow().isEmpty());
}

namespace {

/// A notification area of desktops that speak D-Bus (the StatusNotifierWatcher of KDE's
/// protocol, as GNOME's AppIndicator extension also provides it): it keeps the items that
/// register and says that a host shows them.
class FakeStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) { items_.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList items_;
};

/// A session bus of the test's own (dbus-daemon), ended with the object.
class PrivateBus {
public:
    bool start(QString* why) {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (!daemon_.waitForStarted(5000)) {
            *why = QStringLiteral("dbus-daemon did not start");
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (!daemon_.canReadLine() && t.elapsed() < 15000)
            daemon_.waitForReadyRead(100);
        address = QString::fromLatin1(daemon_.readLine().trimmed());
        if (address.isEmpty()) {
            *why = QStringLiteral("no address from dbus-daemon: ") +
                   QString::fromLocal8Bit(daemon_.readAllStandardError());
            return false;
        }
        return true;
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("quelmint-test-bus"));
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(address, QStringLiteral("quelmint-test-bus"));
    }
    QString address;

private:
    QProcess daemon_;
};

/// A property of the registered item, read over the bus (an invalid variant on failure).
QVariant itemProperty(const QDBusConnection& bus, const QString& service, const char* name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(name);
    const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

/// The largest picture of an icon property (an array of width, height and ARGB32 bytes in
/// network order).
QImage largestPicture(const QVariant& value) {
    QImage largest;
    if (!value.canConvert<QDBusArgument>())
        return largest;
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        arg.beginStructure();
        arg >> width >> height >> bytes;
        arg.endStructure();
        if (width <= largest.width() || width <= 0 || height <= 0 ||
            bytes.size() != qsizetype(width) * height * 4)
            continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, p += 4)
                image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
        largest = image;
    }
    arg.endArray();
    return largest;
}

/// The tip's title and text joined by "|" (the ToolTip property: icon name, icon pictures,
/// title, text).
QString tipOf(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument arg = value.value<QDBusArgument>();
    QString iconName, title, text;
    arg.beginStructure();
    arg >> iconName;
    arg.beginArray();
    while (!arg.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        arg.beginStructure();
        arg >> width >> height >> bytes;
        arg.endStructure();
    }
    arg.endArray();
    arg >> title >> text;
    arg.endStructure();
    return title + QLatin1Char('|') + text;
}

} // namespace

TEST(QtTrayIcon, RegistersWithADBusNotificationAreaAndAnswersItsClicks) {
    ensureApplication();
    for (const char* tool : {"xvfb-run", "xauth", "dbus-daemon"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            SKIP_OR_FAIL(std::string(tool) + " is not installed (tools/test installs it)");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    PrivateBus bus;
    QString why;
    ASSERT_TRUE(bus.start(&why)) << why.toStdString();
    QDBusConnection connection = bus.connection();
    ASSERT_TRUE(connection.isConnected()) << connection.lastError().message().toStdString();
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                          QDBusConnection::ExportAllSlots |
                                              QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    TrayOnDisplay tray;
    ASSERT_TRUE(tray.start(dir.path(), &why, bus.address)) << why.toStdString();
    // The driver asks the watcher over the bus: answer while waiting.
    QByteArray available;
    tray.write("available");
    ASSERT_TRUE(waitUntil([&] { return !(available = tray.poll("available ")).isEmpty(); }, 30000));
    ASSERT_EQ(available, "available 1") << tray.seen().data();

    tray.write("add 2 Quelmint\\r\\nReceiving");
    ASSERT_TRUE(waitUntil([&] { return !watcher.items().isEmpty(); }, 30000))
        << "no item registered; " << tray.seen().data();
    ASSERT_FALSE(tray.poll("done ").isEmpty());
    const QString item = watcher.items().first();
    QImage shown;
    ASSERT_TRUE(waitUntil(
        [&] {
            shown = largestPicture(itemProperty(connection, item, "IconPixmap"));
            return pixelsNear(shown, kGreen) >= 10;
        },
        15000))
        << "no green in the item's picture (" << shown.width() << " wide)";
    EXPECT_EQ(pixelsNear(shown, kOrange), 0);
    EXPECT_EQ(tipOf(itemProperty(connection, item, "ToolTip")).toStdString(),
              "Quelmint\nReceiving|");

    tray.write("modify 5 No adapter selected");
    EXPECT_TRUE(waitUntil(
        [&] {
            shown = largestPicture(itemProperty(connection, item, "IconPixmap"));
            return pixelsNear(shown, kRed) >= 10 && pixelsNear(shown, kGreen) == 0;
        },
        15000))
        << "the picture did not change to no adapter";
    EXPECT_EQ(tipOf(itemProperty(connection, item, "ToolTip")).toStdString(),
              "No adapter selected|");

    // The area's clicks: activation and the context menu.
    const auto call = [&](const char* method) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            item, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QString::fromLatin1(method));
        m << 10 << 10;
        connection.call(m, QDBus::NoBlock);
    };
    call("Activate");
    QByteArray mouse;
    EXPECT_TRUE(waitUntil([&] { return !(mouse = tray.poll("mouse ")).isEmpty(); }, 15000));
    EXPECT_EQ(mouse, "mouse 514");
    call("ContextMenu");
    EXPECT_TRUE(waitUntil([&] { return !(mouse = tray.poll("mouse ")).isEmpty(); }, 15000));
    EXPECT_EQ(mouse, "mouse 517");

    // Removed, the item leaves the bus.
    tray.write("remove");
    EXPECT_TRUE(waitUntil(
        [&] { return !connection.interface()->isServiceRegistered(item).value(); }, 15000))
        << "the item stayed on the bus";
}

#include "test_qt_tray.moc"
