// Start-up, shutdown, close-to-tray and the notification icon's clicks of the main window,
// with every outside service faked.
#include "ShellTestSupport.h"
#include "support/Units.h"

#include "capture/FrameBuilder.h"
#include "platform/fakes/FakeAutostart.h"
#include "platform/fakes/FakeCapture.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeFileSystem.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "platform/fakes/FakeSingleInstance.h"
#include "platform/fakes/FakeTrayIcon.h"
#include "settings/Settings.h"
#include "shell/AdapterMonitor.h"
#include "shell/Form1.h"
#include "shell/Toolbar.h"
#include "usage/clsUsageLogger.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {
/// A capture component that forwards to a FakeCapture and notes stops in a shared log.
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

const QString kProgramFolder = QStringLiteral("/opt/quelmint");
const QString kLogFolder = kProgramFolder + QStringLiteral("/Usage Logs");

/// The whole world of one main window.
struct World {
    World() {
        ensureApplication();
        capture.setAdapters(
            {FakeCapture::ethernet(QStringLiteral("eth0"), QStringLiteral("Ethernet adapter eth0"),
                                   {QStringLiteral("10.0.0.1")})});
        fs.afterChange = [this] {
            const bool present = fs.fileExists(kLogFolder + QStringLiteral("/_session.log"));
            if (sessionPresent && !present)
                log.append(QStringLiteral("usageLoggerReleased"));
            sessionPresent = present;
        };
    }
    ~World() { delete window; }

    ShellServices services() {
        return ShellServices{clock,
                             boxes,
                             trayLog,
                             storeLog,
                             autostartLog,
                             single,
                             fs,
                             CaptureLibraryCheck(CaptureLibraryCheck::Rule::WinPcap,
                                                 [this] { return libraryVersion; }),
                             [this]() -> std::unique_ptr<CaptureComponent> {
                                 if (!createError.isEmpty())
                                     throw CaptureError(createError);
                                 return std::make_unique<LoggingCapture>(capture, log);
                             },
                             kProgramFolder,
                             QStringLiteral("/home/u/.local/share/Quelmint"),
                             recoveryMs};
    }

    /// Builds the window and runs its start-up; a settings dialog opened by start-up is
    /// answered by onDialog (default: cancel).
    Form1::StartResult start() {
        svc = std::make_unique<ShellServices>(services());
        window = new Form1(*svc);
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
        const Form1::StartResult result = window->load();
        dialogWatch.stop();
        return result;
    }

    bool nothingWritten() const {
        return store.putKeys.isEmpty() && autostart.writes == 0 && fs.files().isEmpty();
    }

    FakeClock clock;
    FakeMessageBoxes boxes;
    FakeTrayIcon tray;
    FakeSettingsStore store;
    FakeAutostart autostart;
    FakeSingleInstance single;
    FakeFileSystem fs;
    FakeCapture capture;
    QStringList log;
    LoggingTray trayLog{tray, log};
    LoggingStore storeLog{store, log};
    LoggingAutostart autostartLog{autostart, log};
    std::optional<QString> libraryVersion = QStringLiteral("4.1.0.2980");
    QString createError;
    int recoveryMs = 2000;
    bool sessionPresent = false;
    std::unique_ptr<ShellServices> svc;
    Form1* window = nullptr;
    QStringList dialogsSeen;
    std::function<void(QDialog&)> onDialog;
};

void configureAdapter(World& w, const QString& name = QStringLiteral("eth0")) {
    w.store.at(QStringLiteral("Interface")) = name;
    w.store.at(QStringLiteral("InterfaceDesc")) = QStringLiteral("Ethernet adapter eth0");
}

/// A UDP frame from elsewhere to the adapter's address 10.0.0.1: received.
QByteArray received(int payload = 0) {
    return FrameBuilder::udp(0x0A000009, 0x0A000001, payload);
}

/// A second passes: the clock moves on and the 100 ms timer ticks ten times.
void nextSecond(World& w) {
    w.clock.advance(1000);
    for (int i = 0; i < 10; ++i)
        w.window->timer1Tick();
}
} // namespace

TEST(Form1Startup, CaptureLibraryVersionDecidesWhetherTheProgramRuns) {
    struct Case {
        std::optional<QString> version;
        bool runs;
    };
    const Case cases[] = {{QStringLiteral("3.0"), false},
                          {QStringLiteral("3.0.0.18"), false},
                          {std::nullopt, false},
                          {QStringLiteral("3.1"), true},
                          {QStringLiteral("4.0"), true}};
    for (const Case& c : cases) {
        World w;
        configureAdapter(w);
        w.libraryVersion = c.version;
        const Form1::StartResult result = w.start();
        const std::string label = c.version.value_or(QStringLiteral("absent")).toStdString();
        if (c.runs) {
            EXPECT_EQ(result, Form1::StartResult::Running) << label;
            EXPECT_TRUE(w.window->isVisible()) << label;
            continue;
        }
        EXPECT_EQ(result, Form1::StartResult::Ended) << label;
        ASSERT_EQ(w.boxes.boxes.size(), 1) << label;
        EXPECT_EQ(w.boxes.boxes[0].icon, BoxIcon::Critical);
        EXPECT_EQ(w.boxes.boxes[0].title, QStringLiteral("WinPCap library not found")) << "the library the check reads";
        EXPECT_EQ(w.boxes.boxes[0].text,
                  QStringLiteral("WinPCap library is required to run this utility.\r\n"
                                 "Please install WinPCap from installation folder of Quelmint."));
        EXPECT_FALSE(w.window->isVisible());
        EXPECT_FALSE(w.tray.shown);
        // Ending here writes nothing, also not when the window is destroyed afterwards.
        w.window->unload();
        delete w.window;
        w.window = nullptr;
        EXPECT_TRUE(w.nothingWritten()) << label;
    }
}

TEST(Form1Startup, SecondInstanceHandsOverAndCaptureCreationFailureEnds) {
    {
        World w;
        w.single.primary = false;
        EXPECT_EQ(w.start(), Form1::StartResult::Ended);
        EXPECT_EQ(w.single.activateCalls, 1);
        EXPECT_TRUE(w.boxes.boxes.isEmpty());
        EXPECT_FALSE(w.window->isVisible());
        w.window->unload();
        EXPECT_TRUE(w.nothingWritten());
    }
    {
        World w;
        w.createError = QStringLiteral("Cannot load the capture library.");
        EXPECT_EQ(w.start(), Form1::StartResult::Ended);
        ASSERT_EQ(w.boxes.boxes.size(), 1);
        EXPECT_EQ(w.boxes.boxes[0].title, QStringLiteral("Error"));
        EXPECT_EQ(w.boxes.boxes[0].text, w.createError);
        w.window->unload();
        EXPECT_TRUE(w.nothingWritten());
    }
    {
        // The first instance is asked to come back while it is hidden in the tray.
        World w;
        configureAdapter(w);
        w.store.at(QStringLiteral("StartMinimized")) = QStringLiteral("True");
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        EXPECT_FALSE(w.window->isVisible());
        w.single.fireRaise();
        EXPECT_TRUE(w.window->isVisible());
        EXPECT_FALSE(w.window->isMinimized());
    }
}

TEST(Form1Startup, FirstStartWithEmptyStoreAsksForAnAdapter) {
    World w;
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    EXPECT_EQ(w.dialogsSeen, QStringList{QStringLiteral("Form2")});
    ASSERT_FALSE(w.tray.balloons.isEmpty());
    const FakeTrayIcon::Balloon& b = w.tray.balloons.last();
    EXPECT_EQ(b.title, QStringLiteral("No adapter selected"));
    EXPECT_EQ(b.text, QStringLiteral("Please select an adapter to monitor.\r\n"));
    EXPECT_EQ(b.icon, 2);
    EXPECT_EQ(w.tray.picture, 5);
    EXPECT_EQ(w.tray.tip, QStringLiteral("No adapter selected"));
    // Cancelled: running, without capture.
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.window->Timer1.isActive());
    EXPECT_TRUE(w.window->Timer2.isActive());
    EXPECT_EQ(w.capture.startCount, 0);
    EXPECT_FALSE(w.window->monitoringInProgress());
    EXPECT_TRUE(w.boxes.boxes.isEmpty());
}

TEST(Form1Startup, TimersAndCaptureRunWhileTheStartupDialogIsOpen) {
    World w;
    // The adapter is chosen, but the filter is refused: capture runs and the dialog stays.
    w.capture.rejectFilter = [](const QString& text) {
        return text.isEmpty() ? QString() : QStringLiteral("syntax error");
    };
    int framesWhileOpen = -1;
    int ticksWhileOpen = 0;
    bool stillOpen = false;
    w.onDialog = [&](QDialog& d) {
        auto* adapters = d.findChild<QComboBox*>(QStringLiteral("Combo1"));
        auto* filter = d.findChild<QLineEdit*>(QStringLiteral("Text3"));
        auto* ok = d.findChild<QPushButton*>(QStringLiteral("Command1"));
        ASSERT_TRUE(adapters && filter && ok);
        adapters->setCurrentIndex(0);
        filter->setText(QStringLiteral("tcp port"));
        ok->click();
        stillOpen = d.isVisible();
        const auto c =
            QObject::connect(&w.window->Timer1, &QTimer::timeout, [&] { ++ticksWhileOpen; });
        // Frames reach the window through the capture it started itself.
        w.capture.firePacket(received());
        w.capture.firePacket(received());
        framesWhileOpen = int(w.window->frames().packetCount);
        waitUntil([&] { return ticksWhileOpen >= 1; }, 10000);
        QObject::disconnect(c);
        d.reject();
    };
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(framesWhileOpen, 2);
    EXPECT_GE(ticksWhileOpen, 1);
    EXPECT_EQ(w.window->frames().counters.transfer(TrafficCounters::Received), 2.0 * 42);
    EXPECT_TRUE(w.capture.isCapturing());
}

TEST(Form1Startup, BadStoredValuesAreReported) {
    {
        // A key that does not convert: reported, its default used, start-up goes on.
        World w;
        configureAdapter(w);
        w.store.at(QStringLiteral("DisplayUnit")) = QStringLiteral("lots");
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        ASSERT_EQ(w.boxes.boxes.size(), 1);
        EXPECT_TRUE(w.boxes.boxes[0].text.startsWith(QStringLiteral("Error in Load:\r\n")));
        EXPECT_TRUE(w.boxes.boxes[0].text.contains(QStringLiteral("DisplayUnit")));
        EXPECT_TRUE(w.boxes.boxes[0].text.contains(QStringLiteral("lots")));
        EXPECT_EQ(w.window->settings().gDisplayUnit, 3);
        EXPECT_TRUE(w.window->monitoringInProgress());
        EXPECT_TRUE(w.window->Timer1.isActive());
    }
    {
        // A stored filter the capture component rejects: the rest of start-up is skipped, the
        // window shows all the same.
        World w;
        configureAdapter(w);
        w.store.at(QStringLiteral("FilterString")) = QStringLiteral("not a filter (");
        w.capture.rejectFilter = [](const QString& f) {
            return f.isEmpty() ? QString() : QStringLiteral("syntax error in filter expression");
        };
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        ASSERT_EQ(w.boxes.boxes.size(), 1);
        EXPECT_EQ(w.boxes.boxes[0].text,
                  QStringLiteral("Error in Load:\r\nsyntax error in filter expression"));
        EXPECT_TRUE(w.window->isVisible());
        EXPECT_FALSE(w.window->Timer1.isActive());
        EXPECT_FALSE(w.tray.shown);
        EXPECT_EQ(w.capture.startCount, 0);
        // No icon: closing to the tray would lose the window, so it is only minimised.
        w.window->settings().gCloseToTray = true;
        w.window->close();
        spin(50);
        EXPECT_TRUE(w.window->isVisible());
        EXPECT_TRUE(w.window->isMinimized());
        EXPECT_FALSE(w.window->isUnloaded());
    }
}

TEST(Form1Startup, ARejectedStoredFilterStillKeepsTheDayAccounting) {
    World w;
    configureAdapter(w);
    w.clock.setNow(QDateTime(QDate(2026, 3, 31), QTime(23, 59, 50)));
    w.store.at(QStringLiteral("FilterString")) = QStringLiteral("not a filter (");
    w.capture.rejectFilter = [](const QString& f) {
        return f.isEmpty() ? QString() : QStringLiteral("syntax error in filter expression");
    };
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    ASSERT_EQ(w.boxes.boxes.size(), 1);
    EXPECT_EQ(w.boxes.boxes[0].text,
              QStringLiteral("Error in Load:\r\nsyntax error in filter expression"));
    EXPECT_TRUE(w.window->Timer2.isActive());
    EXPECT_EQ(w.window->frames().currentDay, QDate(2026, 3, 31));
    auto* list = w.window->findChild<QTreeWidget*>(QStringLiteral("ListView2"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 1); // today's row
    auto* months = w.window->findChild<QComboBox*>(QStringLiteral("Combo1"));
    ASSERT_NE(months, nullptr);
    EXPECT_EQ(months->currentIndex(), 2);

    // Midnight: the housekeeping tick moves the day, so frames count on 1 April.
    w.clock.setNow(QDateTime(QDate(2026, 4, 1), QTime(0, 0, 5)));
    ASSERT_TRUE(waitUntil([&] { return w.window->frames().currentDay == QDate(2026, 4, 1); },
                          10000));
    EXPECT_EQ(w.boxes.boxes.size(), 1);
}

TEST(Form1Startup, EndingWhileAStartupBoxIsOpenStopsStartUp) {
    // A termination signal handled inside the "Error in Load:" box's modal loop.
    World w;
    configureAdapter(w);
    w.store.at(QStringLiteral("DisplayTCP")) = QStringLiteral("maybe");
    w.boxes.whileOpen = [&] { w.window->exitProgram(); };
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    EXPECT_TRUE(w.window->isUnloaded());
    EXPECT_EQ(w.capture.startCount, 0);
    EXPECT_FALSE(w.window->Timer1.isActive());
    EXPECT_FALSE(w.window->isVisible());
    EXPECT_EQ(w.autostart.writes, 1);
}

TEST(Form1Window, StartMinimisedHidesOnlyWhenTheTrayCanBringItBack) {
    for (const bool trayAvailable : {true, false}) {
        World w;
        configureAdapter(w);
        w.tray.available = trayAvailable;
        w.store.at(QStringLiteral("StartMinimized")) = QStringLiteral("True");
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        spin(50);
        if (trayAvailable) {
            EXPECT_FALSE(w.window->isVisible());
            EXPECT_TRUE(w.tray.shown);
            w.tray.click(traymsg::LeftButtonUp);
            EXPECT_TRUE(w.window->isVisible());
            EXPECT_FALSE(w.window->isMinimized());
        } else {
            EXPECT_TRUE(w.window->isVisible()) << "a minimised window stays on the task bar";
            EXPECT_TRUE(w.window->isMinimized());
        }
    }
}

TEST(Form1Window, CloseToTrayAndExit) {
    struct Case {
        bool closeToTray;
        bool trayAvailable;
        bool useButton;
    };
    const Case cases[] = {{true, true, false}, {true, true, true},   {true, false, false},
                          {true, false, true}, {false, true, false}, {false, true, true}};
    for (const Case& c : cases) {
        World w;
        configureAdapter(w);
        w.tray.available = c.trayAvailable;
        w.store.at(QStringLiteral("CloseToTray")) = Settings::booleanText(c.closeToTray);
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        const std::string label = std::to_string(c.closeToTray) + std::to_string(c.trayAvailable) +
                                  std::to_string(c.useButton);
        if (c.useButton)
            w.window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        else
            w.window->close();
        spin(50);
        if (!c.closeToTray) {
            EXPECT_TRUE(w.window->isUnloaded()) << label;
            EXPECT_FALSE(w.store.putKeys.isEmpty()) << label;
            continue;
        }
        EXPECT_FALSE(w.window->isUnloaded()) << label;
        EXPECT_TRUE(w.store.putKeys.isEmpty()) << label;
        if (c.trayAvailable) {
            EXPECT_FALSE(w.window->isVisible()) << label;
        } else {
            EXPECT_TRUE(w.window->isVisible()) << label;
            EXPECT_TRUE(w.window->isMinimized()) << label;
        }
        // Minimising hides to the tray as well (only with a tray).
        w.window->showNormal();
        w.window->setWindowState(Qt::WindowMinimized);
        spin(50);
        EXPECT_EQ(w.window->isVisible(), !c.trayAvailable) << label;
    }
}

TEST(Form1Window, ExitRunsTheShutdownStepsInOrder) {
    World w;
    configureAdapter(w);
    w.store.at(QStringLiteral("CloseToTray")) = QStringLiteral("True");
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    ASSERT_TRUE(w.window->monitoringInProgress());
    w.window->settings().gBandwidth = 1250000; // a change made while running is kept
    w.log.clear();
    bool shuttingDownAtStop = false;
    w.capture.onRefresh = nullptr;
    QObject::connect(w.window, &Form1::unloaded,
                     [&] { shuttingDownAtStop = w.window->frames().gStationShuttingDown; });
    QAction* exit = w.window->findChild<QAction*>(QStringLiteral("mExit"));
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    EXPECT_TRUE(w.window->isUnloaded());
    EXPECT_TRUE(shuttingDownAtStop);
    EXPECT_EQ(w.log, QStringList({"StopCapture", "saveSettings", "removeTrayIcon",
                                  "usageLoggerReleased", "registerRunAtLogon"}));
    EXPECT_EQ(w.store.at(QStringLiteral("Bandwidth")), QStringLiteral("1250000"));
    EXPECT_EQ(w.store.at(QStringLiteral("Interface")), QStringLiteral("eth0"));
    EXPECT_EQ(w.autostart.entries.value(QStringLiteral("Quelmint")),
              kProgramFolder + QStringLiteral("/quelmint"));
    EXPECT_FALSE(w.tray.shown);
    // A second exit (signal after "Exit") does nothing more.
    w.window->exitProgram();
    EXPECT_EQ(w.autostart.writes, 1);
}

TEST(Form1Window, ExitWritesOrRemovesTheLogOnEntryAsStartAtLogonSays) {
    const struct {
        const char* stored; // "StartAtLogon"; null: never stored
        const char* step;
        bool entry;
    } cases[] = {{nullptr, "registerRunAtLogon", true},
                 {"True", "registerRunAtLogon", true},
                 {"False", "removeRunAtLogon", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "default");
        World w;
        configureAdapter(w);
        if (c.stored != nullptr)
            w.store.at(QStringLiteral("StartAtLogon")) = QString::fromLatin1(c.stored);
        w.autostart.entries.insert(QStringLiteral("Quelmint"), QStringLiteral("/old/quelmint"));
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        w.log.clear();
        w.window->exitProgram();
        EXPECT_EQ(w.log.last(), QString::fromLatin1(c.step));
        EXPECT_EQ(w.autostart.entries.contains(QStringLiteral("Quelmint")), c.entry);
        EXPECT_EQ(w.autostart.writes, c.entry ? 1 : 0);
    }
}

TEST(Form1Window, SettingsCommandWhileTheDialogIsOpenOpensNoSecondOne) {
    World w;
    QDialog* first = nullptr;
    bool second = false;
    QTimer look; // a second dialog would be the active modal one by now
    look.setSingleShot(true);
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != first) {
            second = true;
            qobject_cast<QDialog*>(modal)->reject();
        }
    });
    w.onDialog = [&](QDialog& d) {
        if (first == nullptr) {
            first = &d;
            look.start(200);
            w.window->findChild<QAction*>(QStringLiteral("mSettings"))->trigger();
        }
        d.reject();
    };
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    spin(300);
    EXPECT_NE(first, nullptr);
    EXPECT_FALSE(second);
}

TEST(Form1Window, MenuAndTabs) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    auto* menu = w.window->findChild<QMenu*>(QStringLiteral("mMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, QStringList(
                         {"About..", "-", "Stopwatch", "Settings             ", "-", "Exit     "}));

    auto* strip = w.window->findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    auto* frame3 = w.window->findChild<QGroupBox*>(QStringLiteral("Frame3"));
    auto* list = w.window->findChild<QTreeWidget*>(QStringLiteral("ListView2"));
    auto* frame1 = w.window->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    auto* duration = w.window->findChild<QWidget*>(QStringLiteral("lblDuration"));
    auto* packets = w.window->findChild<QWidget*>(QStringLiteral("lblPackets"));
    auto* avg = w.window->findChild<QWidget*>(QStringLiteral("lblAvgSpeed"));
    ASSERT_TRUE(strip && frame3 && list && frame1 && duration && packets && avg);
    EXPECT_EQ(frame1->title(), QStringLiteral("Current speed (KB/s)")); // speed unit 1
    struct Case {
        int tab, windowWidth, stripWidth;
        bool frame1, duration, packets, avg, list;
    };
    const Case cases[] = {{3, 443, 425, false, false, false, false, true},
                          {1, 349, 331, true, true, false, true, false},
                          {2, 443, 425, false, true, true, false, false},
                          {3, 443, 425, false, false, false, false, true}};
    for (const Case& c : cases) {
        strip->setCurrentIndex(c.tab - 1);
        EXPECT_EQ(w.window->frameGeometry().width(), c.windowWidth) << c.tab;
        EXPECT_EQ(strip->width(), c.stripWidth) << c.tab;
        EXPECT_EQ(frame3->width(), c.stripWidth - 8) << c.tab; // as wide as the lists
        EXPECT_EQ(list->width(), c.stripWidth - 8) << c.tab;
        EXPECT_EQ(frame1->isVisible(), c.frame1) << c.tab;
        EXPECT_EQ(duration->isVisible(), c.duration) << c.tab;
        EXPECT_EQ(packets->isVisible(), c.packets) << c.tab;
        EXPECT_EQ(avg->isVisible(), c.avg) << c.tab;
        EXPECT_EQ(list->isVisible(), c.list) << c.tab;
    }
}

TEST(Form1Tray, ClickRulesAndSamples) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    Form1& f = *w.window;
    EXPECT_EQ(w.tray.balloonTitles(), QStringList{"Monitoring"});

    // Clicks restore a hidden or maximised window; a right click opens the menu.
    for (const int message : {traymsg::LeftButtonUp, traymsg::LeftDoubleClick}) {
        f.hide();
        w.tray.click(message);
        EXPECT_TRUE(f.isVisible()) << message;
        f.showMaximized();
        w.tray.click(message);
        EXPECT_FALSE(f.isMaximized()) << message;
    }
    w.tray.click(512); // a mouse move does nothing
    auto* menu = f.findChild<QMenu*>(QStringLiteral("mMenu"));
    EXPECT_FALSE(menu->isVisible());
    w.tray.click(traymsg::RightButtonUp);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();

    // A received frame, then a sample: picture 2 with the adapter and total in the tip.
    f.setLocalAddresses({QStringLiteral("10.0.0.1")});
    w.capture.firePacket(received());
    nextSecond(w);
    EXPECT_EQ(w.tray.picture, 2);
    EXPECT_TRUE(w.tray.tip.startsWith(QStringLiteral("Ethernet adapter eth0\r\nTotal: ")));
    // Nothing new: picture 1.
    nextSecond(w);
    EXPECT_EQ(w.tray.picture, 1);

    // Capture lost: one balloon, picture 5, no more sample updates while it is gone.
    w.capture.fireCaptureAborted();
    EXPECT_EQ(w.tray.balloonTitles(), QStringList({"Monitoring", "Adapter lost"}));
    EXPECT_EQ(w.tray.picture, 5);
    EXPECT_TRUE(f.monitor()->Timer3.isActive());
    w.capture.firePacket(received());
    nextSecond(w);
    EXPECT_EQ(w.tray.picture, 5);
    EXPECT_EQ(w.tray.tip, QStringLiteral("No adapter selected"));
}

TEST(Form1Capture, FramesReachCountersAndTheUsageLog) {
    const UnitsGuard units; // the settings set the process-wide units
    World w;
    configureAdapter(w);
    w.store.at(QStringLiteral("DisplayUnit")) = QStringLiteral("3");
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    const QByteArray bytes = received(100);
    for (int i = 0; i < 5; ++i)
        w.capture.firePacket(bytes);
    EXPECT_EQ(w.window->frames().packetCount, 5);
    EXPECT_EQ(w.window->frames().counters.transfer(TrafficCounters::Received), 5.0 * bytes.size());
    const clsUsageRec day = w.window->usageLogger()->getDailyUsage(w.clock.today());
    EXPECT_EQ(day.dataReceived, 5.0 * bytes.size());
    auto* total = w.window->findChild<QLabel*>(QStringLiteral("lblReceived"));
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->text(), QStringLiteral("710 B")); // five frames of 142 bytes
}

TEST(Form1Capture, AnErrorBoxFromAFrameOpensAfterTheFrameAndCountingGoesOn) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    FrameHandler& frames = w.window->frames();
    int listed = 0;
    frames.listPacket = [&](const clsPacketInfo&) {
        if (listed++ == 0)
            throw std::runtime_error("list full");
    };
    bool inFrame = false, openedInFrame = false;
    double countedWhileOpen = 0;
    w.boxes.whileOpen = [&] {
        openedInFrame = inFrame;
        const double before = frames.packetCount;
        for (int i = 0; i < 3; ++i)
            w.capture.firePacket(received());
        countedWhileOpen = frames.packetCount - before;
    };
    inFrame = true;
    w.capture.firePacket(received()); // its listing fails: not counted
    w.capture.firePacket(received());
    inFrame = false;
    ASSERT_TRUE(waitUntil([&] { return !w.boxes.boxes.isEmpty(); }, 10000));
    spin(300);
    ASSERT_EQ(w.boxes.boxes.size(), 1);
    EXPECT_EQ(w.boxes.boxes[0].text, QStringLiteral("Error in OnPacket:\r\nlist full"));
    EXPECT_FALSE(openedInFrame);
    EXPECT_EQ(countedWhileOpen, 3);
    EXPECT_EQ(frames.packetCount, 4);
}

TEST(Form1Capture, MissingPrivilegeIsToldOnceAndTheProgramRunsOn) {
    World w;
    configureAdapter(w);
    w.recoveryMs = 30;
    w.capture.startError = QStringLiteral(
        "Cannot capture on adapter eth0: permission denied\r\nCapturing needs the CAP_NET_RAW "
        "and CAP_NET_ADMIN capabilities: grant them once with: sudo setcap "
        "cap_net_raw,cap_net_admin=eip <path to quelmint>");
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    // A few recovery polls fail the same way.
    EXPECT_TRUE(waitUntil([&] { return w.capture.startCount > 3; }, 10000));
    ASSERT_EQ(w.boxes.boxes.size(), 1);
    EXPECT_EQ(w.boxes.boxes[0].text,
              QStringLiteral("Error in startMonitoring:\r\n") + w.capture.startError);
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_FALSE(w.window->monitoringInProgress());
    // Once the privilege is there, the poll starts capture.
    w.capture.startError.clear();
    ASSERT_TRUE(waitUntil([&] { return w.window->monitoringInProgress(); }, 10000));
    EXPECT_EQ(w.tray.balloonTitles().last(), QStringLiteral("Monitoring"));
}

TEST(Form1Startup, AdapterChosenInTheStartupDialogStartsMonitoring) {
    World w;
    w.onDialog = [](QDialog& d) {
        auto* adapters = d.findChild<QComboBox*>(QStringLiteral("Combo1"));
        auto* ok = d.findChild<QPushButton*>(QStringLiteral("Command1"));
        ASSERT_TRUE(adapters && ok);
        adapters->setCurrentIndex(0);
        ok->click();
        if (d.isVisible())
            d.reject(); // OK refused: the test fails below
    };
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    EXPECT_TRUE(w.window->monitoringInProgress());
    EXPECT_TRUE(w.capture.isCapturing());
    EXPECT_EQ(w.tray.balloonTitles(), QStringList({"No adapter selected", "Monitoring"}));
    EXPECT_FALSE(w.window->monitor()->Timer3.isActive());
    EXPECT_EQ(w.window->settings().gInterfaceToWatch, QStringLiteral("eth0"));

    // Frames to the chosen adapter's address count as received, and the icon follows.
    w.capture.firePacket(received());
    EXPECT_GT(w.window->frames().counters.transfer(TrafficCounters::Received), 0);
    nextSecond(w);
    EXPECT_EQ(w.tray.picture, 2);
    EXPECT_TRUE(w.tray.tip.startsWith(QStringLiteral("Ethernet adapter eth0\r\nTotal: ")));
}

// ---------------------------------------------------------------------------------------------
// The toolbar's switches

namespace {
/// A click on toolbar button index as a hand makes it: onto the button, press, release.
void clickToolbar(Form1& f, int index) {
    auto* b = f.findChild<QWidget*>(QStringLiteral("Picture3(%1)").arg(index));
    ASSERT_NE(b, nullptr) << index;
    ASSERT_TRUE(b->isVisible()) << index;
    QTest::mouseMove(b, QPoint(11, 11));
    QTest::mouseMove(b, QPoint(12, 12));
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(12, 12));
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(12, 12));
}

QByteArray receivedOf(quint8 protocol) {
    FrameBuilder b;
    b.protocol = protocol;
    b.source = 0x0A000009;
    b.destination = 0x0A000001;
    b.payload = QByteArray(protocol == 1 ? 8 : 20, 'p');
    return b.build();
}
} // namespace

TEST(Form1Toolbar, IgnoreSwitchesStopCountingAndAreSavedAtExit) {
    struct Case {
        int button;
        quint8 protocol;
        const char* key;
    };
    const Case cases[] = {{0, 6, "DisplayTCP"}, {1, 17, "DisplayUDP"}, {2, 1, "DisplayICMP"}};
    const quint8 protocols[] = {6, 17, 1, 2};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        World w;
        configureAdapter(w);
        ASSERT_EQ(w.start(), Form1::StartResult::Running);
        clickToolbar(*w.window, c.button);
        for (quint8 p : protocols)
            w.capture.firePacket(receivedOf(p));
        // ICMP's button also ignores IGMP (protocol 2).
        EXPECT_EQ(w.window->frames().packetCount, c.protocol == 1 ? 2 : 3);
        w.window->exitProgram();
        for (const char* key : {"DisplayTCP", "DisplayUDP", "DisplayICMP"})
            EXPECT_EQ(w.store.at(QString::fromLatin1(key)),
                      QString::fromLatin1(qstrcmp(key, c.key) == 0 ? "False" : "True"))
                << key;
    }
}

TEST(Form1Toolbar, StoredIgnoreUdpShowsSunkenAndTheFirstClickCountsUdpAgain) {
    World w;
    configureAdapter(w);
    w.store.at(QStringLiteral("DisplayUDP")) = QStringLiteral("False");
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    EXPECT_EQ(w.window->toolbar().buttonState(1), 0);
    EXPECT_EQ(w.window->toolbar().latchCode(1), QStringLiteral("2"));
    w.capture.firePacket(receivedOf(17));
    EXPECT_EQ(w.window->frames().packetCount, 0);
    clickToolbar(*w.window, 1);
    w.capture.firePacket(receivedOf(17));
    EXPECT_EQ(w.window->frames().packetCount, 1);
    w.window->exitProgram();
    EXPECT_EQ(w.store.at(QStringLiteral("DisplayUDP")), QStringLiteral("True"));
}

TEST(Form1Toolbar, ReleasingTheFreezeShowsTheCountersAtOnce) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    auto* received = w.window->findChild<QLabel*>(QStringLiteral("lblReceived"));
    ASSERT_NE(received, nullptr);
    const QString before = received->text();
    clickToolbar(*w.window, 3);
    EXPECT_TRUE(w.window->displayFrozen());
    for (int i = 0; i < 3; ++i)
        w.capture.firePacket(receivedOf(17));
    nextSecond(w);
    EXPECT_EQ(w.window->frames().packetCount, 3) << "frozen frames still count";
    EXPECT_EQ(received->text(), before);
    clickToolbar(*w.window, 3); // no tick in between
    EXPECT_FALSE(w.window->displayFrozen());
    EXPECT_NE(received->text(), before);
}

TEST(Form1Toolbar, AlwaysOnTopKeepsPlaceTabAndVisibilityAndPutsTheStopwatchBack) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    Form1& f = *w.window;
    int stopwatchCalls = 0;
    f.stopwatchBackOnTop = [&] { ++stopwatchCalls; };
    auto* strip = f.findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    strip->setCurrentIndex(1);
    f.move(40, 30);
    const QPoint place = f.pos();
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        clickToolbar(f, 4);
        spin(50);
        EXPECT_EQ(f.isTopmost(), on);
        EXPECT_EQ(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.pos(), place);
        EXPECT_EQ(f.frameGeometry().width(), 443); // the outer width, frame included
        EXPECT_EQ(strip->currentIndex(), 1);
        EXPECT_EQ(stopwatchCalls, on ? 0 : 1);
    }

    // Dialogs shown while on top are on top too; afterwards the stopwatch goes back on top.
    for (const bool on : {false, true}) {
        f.setAlwaysOnTop(on);
        stopwatchCalls = 0;
        QDialog dialog;
        bool dialogOnTop = false;
        QTimer::singleShot(0, &dialog, [&] {
            dialogOnTop = dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            dialog.reject();
        });
        f.showOwnedDialog(dialog);
        EXPECT_EQ(dialogOnTop, on);
        EXPECT_EQ(stopwatchCalls, on ? 1 : 0);
    }
}

TEST(Form1Toolbar, ResolveIpOnlyOnThePacketsTab) {
    World w;
    configureAdapter(w);
    ASSERT_EQ(w.start(), Form1::StartResult::Running);
    Form1& f = *w.window;
    auto* resolve = f.findChild<QWidget*>(QStringLiteral("Picture3(5)"));
    ASSERT_NE(resolve, nullptr);
    EXPECT_FALSE(resolve->isVisible()) << "the window starts on \"Bytes\"";
    EXPECT_FALSE(f.resolveNames());
    auto* strip = f.findChild<QTabBar*>(QStringLiteral("TabStrip1"));
    strip->setCurrentIndex(1);
    EXPECT_TRUE(resolve->isVisible());
    clickToolbar(f, 5);
    EXPECT_TRUE(f.resolveNames());
    strip->setCurrentIndex(2);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(f.findChild<QWidget*>(QStringLiteral("Picture3(%1)").arg(i))->isVisible())
            << i;
    // Not stored: the next start has it off again.
    f.exitProgram();
    for (const QString& key : w.store.putKeys)
        EXPECT_FALSE(key.contains(QStringLiteral("Resolve")) ||
                     key.contains(QStringLiteral("Freeze")) || key.contains(QStringLiteral("Top")))
            << key.toStdString();
}
