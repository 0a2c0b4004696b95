// The stopwatch and about windows as the main window opens, feeds and ends them.
#include "support/CaptureHelperPath.h"
#include "support/LocalText.h"
#include "support/MainWindow.h"
#include "support/RealProgram.h"
#include "support/Widgets.h"

#include "platform/HelperCapture.h"
#include "shell/frmAbout.h"
#include "shell/frmStopWatch.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

/// The main window monitoring eth0 (10.0.0.1); or, given a live adapter, capturing on it for
/// real.
struct World : MainWindow {
    explicit World(const QString& speedUnit = QStringLiteral("1"),
                   const QString& liveAdapter = QString()) {
        configureEth0();
        if (!liveAdapter.isEmpty()) {
            store.at(QStringLiteral("Interface")) = liveAdapter;
            liveCapture = [] { return std::make_unique<HelperCapture>(captureHelperPath()); };
        }
        store.at(QStringLiteral("SpeedUnit")) = speedUnit;
        store.at(QStringLiteral("DisplayUnit")) = QStringLiteral("3");
        loaded = start() == Form1::StartResult::Running;
    }

    static frmStopWatch* stopwatchWindow() {
        return topLevel<frmStopWatch>(QStringLiteral("frmStopWatch"));
    }
    frmStopWatch& stopwatch() { return *stopwatchWindow(); }
    QString swText(const char* name) {
        auto* l = stopwatch().findChild<QLabel*>(QString::fromLatin1(name));
        if (auto* b = stopwatch().findChild<QPushButton*>(QString::fromLatin1(name)))
            return b->text();
        return l != nullptr ? l->text() : QStringLiteral("<none>");
    }
    void clickStart() {
        QTest::mouseClick(child<QPushButton>(stopwatch(), "Command1"), Qt::LeftButton);
    }
    /// A UDP frame of 100 data bytes (142 on the wire) to the adapter's address: received.
    void receive(int frames = 1) {
        for (int i = 0; i < frames; ++i)
            capture.firePacket(received(100));
    }

    bool loaded = false;
};

} // namespace

TEST(Form1Stopwatch, CreatedHiddenAtStartUpAndOpenedByTheButtonAndTheMenu) {
    // Opened, then again after it counted and was closed: at zero each time, ticked "Always on
    // top" while the main window is on top; its own box leaves the main window as it is.
    for (const bool mainOnTop : {false, true})
        for (const bool fromMenu : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "on top " << mainOnTop << ", menu " << fromMenu);
            World w;
            ASSERT_TRUE(w.loaded);
            ASSERT_NE(World::stopwatchWindow(), nullptr);
            EXPECT_FALSE(w.stopwatch().isVisible());
            if (mainOnTop)
                w.clickToolbar(4);
            for (const bool again : {false, true}) {
                if (again) {
                    w.clickStart();
                    w.receive(2);
                    EXPECT_EQ(w.swText("lblTransfer3"), QStringLiteral("284 B "));
                    w.stopwatch().close();
                    EXPECT_FALSE(w.stopwatch().isVisible());
                    EXPECT_FALSE(w.stopwatch().Timer1.isActive());
                    w.receive(); // while closed
                }
                if (fromMenu)
                    child<QAction>(*w.window, "mStopwatch")->trigger();
                else
                    QTest::mouseClick(child<QPushButton>(*w.window, "CmdStopwatch"),
                                      Qt::LeftButton);
                EXPECT_TRUE(w.stopwatch().isVisible()) << again;
                EXPECT_EQ(w.stopwatch().isTopmostChecked(), mainOnTop) << again;
                EXPECT_EQ(w.swText("Command1"), QStringLiteral("Start"));
                EXPECT_EQ(w.swText("Label1"), local("00:00:00.0"));
                EXPECT_EQ(w.swText("lblTransfer3"), QStringLiteral("0 B ")) << again;
            }
            QTest::mouseClick(child<QLabel>(w.stopwatch(), "Label3"), Qt::LeftButton);
            EXPECT_EQ(w.stopwatch().isTopmost(), !mainOnTop);
            EXPECT_EQ(w.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), mainOnTop);
        }
}

TEST(Form1Stopwatch, FiguresOfRealFramesAreExactAndShownOncePerBatch) {
    World w;
    ASSERT_TRUE(w.loaded);
    w.receive(3); // before the start: not measured
    w.command("mStopwatch");
    w.clickStart();
    w.receive(5);
    const std::pair<const char*, const char*> five[] = {
        {"lblTransfer0", "710 B "}, {"lblData0", "500 B "},     {"lblOverhead0", "210 B "},
        {"lblTransfer1", "0 B "},   {"lblTransfer3", "710 B "}, {"lblOverhead3", "210 B "}};
    for (const auto& [name, expected] : five)
        EXPECT_EQ(w.swText(name), QString::fromLatin1(expected)) << name;

    // Three frames in one batch: counted at once, shown at the batch's end.
    const QByteArray frame = FrameBuilder::udp(0x0A000009, 0x0A000001, 100);
    Packet p;
    p.CaptureLength = p.PacketLength = quint32(frame.size());
    p.Data = reinterpret_cast<const unsigned char*>(frame.constData());
    for (int i = 0; i < 3; ++i)
        w.capture.events()->OnPacket(p);
    EXPECT_EQ(
        w.stopwatch().stopwatch().figure(TrafficCounters::Received, TrafficCounters::Transfer),
        1136.0);
    EXPECT_EQ(w.swText("lblTransfer0"), QStringLiteral("710 B "));
    w.capture.events()->OnBatchEnd();
    EXPECT_EQ(w.swText("lblTransfer0"), local("1.11 K "));

    // "Reset Statistics" on the main window changes nothing in the stopwatch.
    QTest::mouseClick(child<QPushButton>(*w.window, "cmdReset"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(*w.window, "lblReceived")->text(), QStringLiteral("0 B"));
    EXPECT_EQ(w.swText("lblTransfer0"), local("1.11 K "));
    w.receive();
    EXPECT_EQ(w.swText("lblTransfer0"), local("1.25 K "));
    EXPECT_EQ(child<QLabel>(*w.window, "lblReceived")->text(), QStringLiteral("142 B"));
}

TEST(Form1Stopwatch, AverageSpeedInBothUnits) {
    // Ten ticks 100 ms apart, one 142-byte frame before each: 1420 bytes over the 1.0 s the
    // ticks cover.
    struct Case {
        const char* unit;
        const char* zero;
        const char* average;
    };
    const Case cases[] = {{"1", "0.00 KB/s", "1.39 KB/s"}, {"0", "0 kbps", "11 kbps"}};
    for (const Case& c : cases) {
        World w(QString::fromLatin1(c.unit));
        ASSERT_TRUE(w.loaded);
        w.command("mStopwatch");
        EXPECT_EQ(w.swText("lblAvgSpeed"), local(c.zero));
        w.clickStart();
        w.stopwatch().Timer1.stop(); // the fake clock's ticks are driven by hand
        for (int i = 0; i < 10; ++i) {
            w.receive();
            w.clock.advance(100);
            w.stopwatch().stopwatch().tick();
        }
        EXPECT_EQ(w.swText("lblAvgSpeed"), local(c.average)) << c.unit;
        EXPECT_EQ(w.swText("Label1"), local("00:00:01.0"));
    }
}

TEST(Form1Stopwatch, ShutdownUnloadsTheStopwatch) {
    World w;
    ASSERT_TRUE(w.loaded);
    w.command("mStopwatch");
    w.clickStart();
    QPointer<frmStopWatch> stopwatch(World::stopwatchWindow());
    w.command("mExit");
    EXPECT_TRUE(stopwatch.isNull());
    // Nothing opens after shutdown.
    w.command("mStopwatch");
    EXPECT_EQ(World::stopwatchWindow(), nullptr);
}

TEST(Form1About, ModalOwnedByTheMainWindowAndTheLinkOpensOncePerClick) {
    World w;
    ASSERT_TRUE(w.loaded);
    w.window->hide(); // in the notification area: showing the about window restores it
    bool seen = false, modal = false, owned = false, mainShown = false;
    QString version, address;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        if (about == nullptr || seen)
            return;
        seen = true;
        modal = about->isModal() && about->windowModality() == Qt::ApplicationModal;
        owned = about->parentWidget() == w.window.get();
        mainShown = w.window->isVisible();
        version = about->findChild<QLabel*>(QStringLiteral("Label3"))->text();
        auto* link = about->findChild<QLabel*>(QStringLiteral("Label6"));
        address = link->text();
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(link, Qt::LeftButton);
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("Command1")),
                          Qt::LeftButton);
    });
    watch.start();
    child<QAction>(*w.window, "mAbout")->trigger(); // returns when the window is closed
    watch.stop();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(owned);
    EXPECT_TRUE(mainShown);
    EXPECT_EQ(version, QStringLiteral("Quelmint Pre Release Ver. 1.0.0.1"));
    EXPECT_TRUE(address.startsWith(QStringLiteral("https://"))) << address.toStdString();
    EXPECT_EQ(w.browser.opened, QStringList({address, address}));
    // Closed windows are gone: the next "About.." builds a new one.
    EXPECT_EQ(w.window->findChild<frmAbout*>(), nullptr);
}

TEST(Form1StopwatchLive, RealTrafficBetweenNamespacesIsMeasuredExactly) {
    ensureApplication();
    SKIP_WITHOUT_NETNS();
    NetnsPair pair(QStringLiteral("sw"), 120);
    ASSERT_TRUE(pair.ok());
    NetnsEnter enter(pair.nsA()); // the window captures inside namespace A
    ASSERT_TRUE(enter.ok());
    World w(QStringLiteral("1"), pair.nameA());
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(waitUntil([&] { return w.session().monitoringInProgress(); }, 10000));
    sendUdpFrom(pair.nsB(), pair.addressA(), 41201, 1, 8); // resolves the neighbour first
    ASSERT_TRUE(waitUntil([&] { return w.session().frames().packetCount >= 1; }, 15000));

    w.command("mStopwatch");
    w.clickStart();
    // 200 datagrams of 100 bytes to A: 200 frames of 142 bytes received. No socket listens,
    // so A answers each with an ICMP error: those count as upload.
    ASSERT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), 41200, 200, 100), 200);
    frmStopWatch& sw = w.stopwatch();
    EXPECT_TRUE(waitUntil(
        [&] {
            return sw.stopwatch().figure(TrafficCounters::Received, TrafficCounters::Transfer) >=
                   28400.0;
        },
        15000));
    const std::pair<const char*, const char*> expected[] = {{"lblTransfer0", "27.73 K "},
                                                            {"lblData0", "19.53 K "},
                                                            {"lblOverhead0", "8.20 K "},
                                                            {"lblTransfer2", "0 B "}};
    // The labels follow at the window's next refresh.
    waitUntil([&] { return w.swText(expected[0].first) == local(expected[0].second); }, 10000);
    for (const auto& [name, text] : expected)
        EXPECT_EQ(w.swText(name), local(text)) << name;
    EXPECT_NE(w.swText("lblTransfer1"), QStringLiteral("0 B "));
    // The real 100 ms timer shows the (fake) clock's time.
    w.clock.advance(2500);
    EXPECT_TRUE(waitUntil([&] { return w.swText("Label1") == local("00:00:02.5"); }, 5000));

    // A picture for people to look at.
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    EXPECT_TRUE(sw.grab().save(dir + QStringLiteral("/stopwatch-live.png")));
    w.command("mExit");
}
