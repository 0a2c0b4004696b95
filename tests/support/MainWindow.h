#pragma once

// The one fixture of the main window's tests: the real window and its session over every
// outside service faked, with the order of the shutdown steps noted, the start-up's dialogs
// answered, and the ways a test moves time, sends frames and clicks.

#include "support/FakeShellServices.h"
#include "support/FrameBuilder.h"
#include "support/Gui.h"

#include "monitor/MonitorSession.h"
#include "shell/Form1.h"

#include <QAction>
#include <QDialog>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

/// Passes every call to a fake and notes the shutdown's steps in a shared log.
class LoggingCapture final : public FakeCaptureRef {
public:
    LoggingCapture(FakeCapture& fake, QStringList& log) : FakeCaptureRef(fake), log_(log) {}
    void StopCapture() override {
        log_.append(QStringLiteral("StopCapture"));
        FakeCaptureRef::StopCapture();
    }

private:
    QStringList& log_;
};

class LoggingStore final : public SettingsStore {
public:
    LoggingStore(FakeSettingsStore& fake, QStringList& log) : fake_(fake), log_(log) {}
    QString get(const QString& a, const QString& s, const QString& k,
                const QString& d) const override {
        return fake_.get(a, s, k, d);
    }
    bool put(const QString& a, const QString& s, const QString& k, const QString& t) override {
        if (log_.isEmpty() || log_.last() != QStringLiteral("saveSettings"))
            log_.append(QStringLiteral("saveSettings"));
        return fake_.put(a, s, k, t);
    }

private:
    FakeSettingsStore& fake_;
    QStringList& log_;
};

class LoggingTray final : public TrayIcon {
public:
    LoggingTray(FakeTrayIcon& fake, QStringList& log) : fake_(fake), log_(log) {}
    bool isAvailable() const override { return fake_.isAvailable(); }
    void add(int p, const QString& t) override { fake_.add(p, t); }
    void modify(int p, const QString& t) override { fake_.modify(p, t); }
    void showBalloon(const QString& t, const QString& ti, int i) override {
        fake_.showBalloon(t, ti, i);
    }
    void hideBalloon() override { fake_.hideBalloon(); }
    void remove() override {
        log_.append(QStringLiteral("removeTrayIcon"));
        fake_.remove();
    }
    void setMouseHandler(MouseHandler h) override { fake_.setMouseHandler(std::move(h)); }

private:
    FakeTrayIcon& fake_;
    QStringList& log_;
};

class LoggingAutostart final : public Autostart {
public:
    LoggingAutostart(FakeAutostart& fake, QStringList& log) : fake_(fake), log_(log) {}
    bool registerEntry(const QString& name, const QString& program) override {
        log_.append(QStringLiteral("registerRunAtLogon"));
        return fake_.registerEntry(name, program);
    }
    bool removeEntry(const QString& name) override {
        log_.append(QStringLiteral("removeRunAtLogon"));
        return fake_.removeEntry(name);
    }
    QString programFileName() const override { return fake_.programFileName(); }

private:
    FakeAutostart& fake_;
    QStringList& log_;
};

/// The main window and its session over faked services. eth0 (10.0.0.1) is listed; configure
/// it (configureEth0) to start monitoring it.
struct MainWindow : FakeShellServices {
    static inline const QString kProgramFolder = QStringLiteral("/opt/quelmint");
    static inline const QString kLogFolder = kProgramFolder + QStringLiteral("/Usage Logs");

    MainWindow() {
        ensureApplication();
        capture.setAdapters(
            {FakeCapture::ethernet(QStringLiteral("eth0"), QStringLiteral("Ethernet adapter eth0"),
                                   {QStringLiteral("10.0.0.1")})});
        // The usage logger's release at shutdown commits and removes the session file.
        fs.afterChange = [this] {
            const bool present = fs.fileExists(kLogFolder + QStringLiteral("/_session.log"));
            if (sessionPresent && !present)
                log.append(QStringLiteral("usageLoggerReleased"));
            sessionPresent = present;
        };
    }
    ~MainWindow() { window.reset(); }

    /// Builds the window and runs its start-up; a settings dialog opened by start-up is
    /// answered by onDialog (default: cancel).
    Form1::StartResult start() {
        services = std::make_unique<ShellServices>(
            ShellServices{clock, boxes, trayLog, storeLog, autostartLog, single, fs,
                          CaptureLibraryCheck(CaptureLibraryCheck::Rule::WinPcap,
                                              [this] { return libraryVersion; }),
                          [this]() -> std::unique_ptr<CaptureComponent> {
                              if (!createError.isEmpty())
                                  throw CaptureError(createError);
                              if (liveCapture)
                                  return liveCapture();
                              return std::make_unique<LoggingCapture>(capture, log);
                          },
                          kProgramFolder, QStringLiteral("/home/u/.local/share/Quelmint"),
                          recoveryMs, &browser, nullptr, &resolver, &counters, refreshMs});
        window = std::make_unique<Form1>(*services);
        Form1::StartResult result = Form1::StartResult::Ended;
        answeringDialogs([&] { result = window->load(); });
        return result;
    }
    /// Runs an action; a modal dialog opened meanwhile is answered by onDialog (default:
    /// cancel).
    void answeringDialogs(const std::function<void()>& action) {
        QTimer dialogWatch;
        dialogWatch.setInterval(20);
        QObject::connect(&dialogWatch, &QTimer::timeout, [this] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialogsSeen.append(d->objectName());
                if (onDialog)
                    onDialog(*d);
                else
                    d->reject();
            }
        });
        dialogWatch.start();
        action();
    }
    /// start() with eth0 configured.
    Form1::StartResult startOnEth0() {
        configureEth0();
        return start();
    }
    /// Starts monitoring eth0 and shows the window on the screen.
    void startShown() {
        ASSERT_EQ(startOnEth0(), Form1::StartResult::Running);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    MonitorSession& session() { return window->session(); }
    /// A control of the window (or of a dialog or window it owns) by objectName.
    template <typename W = QWidget> W* find(const QString& name) const {
        return window->findChild<W*>(name);
    }
    /// A window of the program without a parent (the stopwatch window, say) by objectName.
    template <typename W = QWidget> static W* topLevel(const QString& name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name)
                return qobject_cast<W*>(w);
        return nullptr;
    }
    /// Where a control is, in window coordinates.
    QRect placeOf(const QString& name) const {
        QWidget* w = find(name);
        return w ? QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size()) : QRect();
    }
    /// Runs a command of the window's menu ("mStopwatch", "mSettings", "mAbout", "mExit").
    void command(const char* action) {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(a, nullptr) << action;
        a->trigger();
    }
    /// Chooses tab 1 "Bytes", 2 "Packets" or 3 "Log" as the tab strip does.
    void chooseTab(int tab) {
        find<QTabBar>(QStringLiteral("TabStrip1"))->setCurrentIndex(tab - 1);
    }

    /// One second in ten ticks of Timer1, the first after `wire` bytes were received in one
    /// frame (none for 0): one speed sample.
    void nextSecond(quint32 wire = 0) {
        for (int i = 0; i < 10; ++i) {
            clock.advance(100);
            if (i == 0 && wire > 0)
                capture.firePacket(bulk(), wire);
            session().timer1Tick();
        }
    }
    /// One housekeeping tick (Timer2) a second later, the capture reporting `dropped` frames.
    void housekeeping(quint64 dropped = 0) {
        capture.droppedFrames = dropped;
        clock.advance(1000);
        session().timer2Tick();
    }
    /// A click on toolbar button index as a hand makes it: onto the button, press, release.
    void clickToolbar(int index) {
        auto* b = find(QStringLiteral("Picture3(%1)").arg(index));
        ASSERT_NE(b, nullptr) << index;
        ASSERT_TRUE(b->isVisible()) << index;
        QTest::mouseMove(b, QPoint(11, 11));
        QTest::mouseMove(b, QPoint(12, 12));
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(12, 12));
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(12, 12));
    }

    /// A UDP frame from elsewhere to eth0's address 10.0.0.1 (received), 42 bytes and payload.
    static QByteArray received(int payload = 0) {
        return FrameBuilder::udp(0x0A000009, 0x0A000001, payload);
    }
    /// A UDP datagram to 10.0.0.1 whose IP total length is 0 (as offloaded ones): the wire length
    /// it is fired with is its size, all data but its 42 bytes of headers.
    static QByteArray bulk() { return FrameBuilder::anyLength(0x0A000009, 0x0A000001); }
    /// A frame of an IP protocol to 10.0.0.1.
    static QByteArray receivedOf(quint8 protocol) {
        FrameBuilder b;
        b.protocol = protocol;
        b.source = 0x0A000009;
        b.destination = 0x0A000001;
        b.payload = QByteArray(protocol == 1 ? 8 : 20, 'p');
        return b.build();
    }

    /// Nothing stored: no setting, no log-on entry, no file.
    bool nothingWritten() const {
        return store.putKeys.isEmpty() && autostart.writes == 0 && fs.files().isEmpty();
    }

    QStringList log; ///< StopCapture, saveSettings, removeTrayIcon, usageLoggerReleased, ...
    LoggingTray trayLog{tray, log};
    LoggingStore storeLog{store, log};
    LoggingAutostart autostartLog{autostart, log};
    std::optional<QString> libraryVersion = QStringLiteral("4.1.0.2980");
    QString createError; ///< when set, the capture component cannot be created
    /// When set, makes the capture component instead of the fake (a real one, say).
    std::function<std::unique_ptr<CaptureComponent>()> liveCapture;
    int recoveryMs = 2000;
    /// Refresh after every batch, so a test sees each frame at once; pacing has its own test.
    int refreshMs = 0;
    bool sessionPresent = false;
    QStringList dialogsSeen;
    std::function<void(QDialog&)> onDialog;
    std::unique_ptr<Form1> window;
};
