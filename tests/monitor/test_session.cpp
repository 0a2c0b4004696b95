// The monitoring session on its own: the frame path's errors, what its signals tell, and how it
// follows the settings' announcements.
#include "support/SessionRig.h"

#include "monitor/AdapterMonitor.h"
#include "monitor/RefreshPacer.h"
#include "speed/TrafficGraph.h"

#include <QSignalSpy>
#include <QTest>

namespace {

/// A received frame from the nth of many peers (each address asked for only once).
QByteArray fromPeer(int n) {
    return FrameBuilder::udp(0x0B000000 + quint32(n), 0x0A000001, 10);
}

/// Hands the frames to the session in one batch, as a capture does.
void batch(SessionRig& r, int first, int count) {
    QList<QByteArray> frames;
    for (int i = first; i < first + count; ++i)
        frames << fromPeer(i);
    for (const QByteArray& f : frames)
        r.capture.events()->OnPacket(FrameBuilder::packetOf(f));
    r.capture.events()->OnBatchEnd();
    QCoreApplication::processEvents(); // the boxes wait for the event loop
}

TEST(SessionFramePath, AnErrorEndsItsFrameAndShowsOneBoxPerBatch) {
    SessionRig r;
    QSignalSpy raised(r.session.get(), &MonitorSession::errorRaised);
    r.session->setResolveNames(true);
    r.resolver.failure = QStringLiteral("Disk full");
    batch(r, 0, 30); // 30 lookups fail (32 may be outstanding)
    ASSERT_EQ(r.boxes.boxes.size(), 1);
    EXPECT_EQ(r.boxes.boxes[0].icon, BoxIcon::Critical);
    EXPECT_EQ(r.boxes.boxes[0].text, QStringLiteral("Error in OnPacket:\r\nDisk full"));
    EXPECT_EQ(raised.size(), 1);
    // The names come first: no frame whose name failed was counted.
    EXPECT_EQ(r.session->frames().packetCount, 0.0);
    r.resolver.failure.clear();
    batch(r, 0, 10); // asked before: counted now
    EXPECT_EQ(r.session->frames().packetCount, 10.0);
    r.resolver.failure = QStringLiteral("Disk full");
    batch(r, 2000, 2);
    EXPECT_EQ(r.boxes.boxes.size(), 2);
}

TEST(SessionFramePath, NoBoxWhileAnotherIsOpen) {
    SessionRig r;
    r.session->setResolveNames(true);
    r.resolver.failure = QStringLiteral("no names");
    // Batches arriving while the first box is open (its modal loop) add none.
    r.boxes.whileOpen = [&] {
        for (int i = 0; i < 10; ++i)
            batch(r, 100 + 10 * i, 10);
    };
    batch(r, 0, 1);
    ASSERT_EQ(r.boxes.boxes.size(), 1);
    EXPECT_EQ(r.boxes.boxes[0].text, QStringLiteral("Error in OnPacket:\r\nno names"));
}

TEST(SessionSignals, TellWhatHappened) {
    SessionRig r;
    MonitorSession& s = *r.session;
    QSignalSpy batches(&s, &MonitorSession::batchEnded);
    QSignalSpy samples(&s, &MonitorSession::sampleTaken);
    QSignalSpy days(&s, &MonitorSession::dayChanged);
    QSignalSpy monitoring(&s, &MonitorSession::monitoringChanged);
    QSignalSpy lost(&s, &MonitorSession::captureLost);
    QSignalSpy losses(&s, &MonitorSession::captureLossChanged);
    QSignalSpy resets(&s, &MonitorSession::statisticsReset);
    s.loadStores();
    s.startAccounting();
    s.startTicks(226);
    ASSERT_TRUE(s.beginMonitoring());
    EXPECT_EQ(resets.size(), 1);
    ASSERT_EQ(monitoring.size(), 1);
    EXPECT_TRUE(monitoring.last().at(0).toBool());

    r.traffic(100);
    EXPECT_EQ(batches.size(), 1);
    r.nextSecond();
    EXPECT_EQ(samples.size(), 1);

    r.capture.droppedFrames = 7;
    s.timer2Tick();
    EXPECT_EQ(losses.last().at(0).toULongLong(), 7u);
    r.clock.setNow(QDateTime(r.clock.today().addDays(1), QTime(0, 0, 1)));
    s.timer2Tick();
    ASSERT_EQ(days.size(), 1);
    EXPECT_EQ(days.last().at(0).toDate(), r.clock.today());
    EXPECT_EQ(resets.size(), 2); // "Reset statistics at start of new day" is on
    EXPECT_EQ(losses.last().at(0).toULongLong(), 0u);

    r.capture.fireCaptureAborted();
    EXPECT_EQ(lost.size(), 1);
    EXPECT_FALSE(monitoring.last().at(0).toBool());
    EXPECT_FALSE(s.monitoringInProgress());
    s.stopCapture();
    s.closeStores();
}

TEST(SessionSettings, AnnouncementsReachTheFramePathUnitsAndGraph) {
    SessionRig r;
    MonitorSession& s = *r.session;
    s.startTicks(226);
    Settings& settings = s.settings();
    // The toolbar's switches.
    settings.displayUDP = false;
    settings.gDisplayUnit = 0; // not announced as display: stays
    settings.announce(Settings::Switches);
    r.traffic(100);
    EXPECT_EQ(s.frames().packetCount, 0.0);
    EXPECT_EQ(s.units(), DisplayUnits());
    // The settings dialog's.
    settings.gSpeedUnit = 0;
    settings.gBandwidth = 125000;
    settings.gGraphStyle = 0;
    settings.announce(Settings::Display);
    EXPECT_EQ(s.units(), (DisplayUnits{0, 0}));
    EXPECT_EQ(s.graph()->gBandwidth, 125000.0);
    EXPECT_EQ(s.graph()->gGraphStyle, 0);
    settings.displayUDP = true;
    settings.announce(Settings::Switches);
    r.traffic(100);
    EXPECT_EQ(s.frames().packetCount, 1.0);
}

TEST(SessionGraph, SamplesDriveTheGraphAndFreezingHoldsIt) {
    SessionRig r;
    MonitorSession& s = *r.session;
    s.startTicks(246); // the chart's newest column at 238, its bottom at 58
    QSignalSpy changed(&s, &MonitorSession::graphChanged);
    const TrafficGraph& g = *s.graph();
    auto top = [&](int x) { // the highest pixel of the trace in a column
        for (int y = 0; y < g.graphImage().height(); ++y)
            if ((g.graphImage().pixel(x, y) & 0xFFFFFF) == 0x00FF00)
                return y;
        return -1;
    };
    auto lit = [&](int row) {
        return (g.meterImage().pixel(25, g.meterRowY(row)) & 0xFFFFFF) == 0x00FF00;
    };
    r.traffic(24000); // half of the default 48 000 bytes per second
    r.nextSecond();
    EXPECT_EQ(changed.size(), 10); // nine plain ticks and the sample
    EXPECT_EQ(top(238), 29);
    EXPECT_TRUE(lit(5));
    EXPECT_FALSE(lit(6));

    // Frozen: graph and meter stand still, and no zero is written into the history.
    s.setDisplayFrozen(true);
    const QImage graph = g.graphImage().copy(), meter = g.meterImage().copy();
    for (int i = 0; i < 2; ++i) {
        r.traffic(96000);
        r.nextSecond();
    }
    EXPECT_EQ(g.graphImage(), graph);
    EXPECT_EQ(g.meterImage(), meter);
    EXPECT_EQ(changed.size(), 28); // the plain ticks still copy the images to the screen
    // Thawed: the real speed follows the last one shown.
    s.setDisplayFrozen(false);
    r.traffic(96000);
    r.nextSecond();
    EXPECT_EQ(top(238), 0);
    EXPECT_EQ(top(236), 29);
    EXPECT_TRUE(lit(g.barCount()));
}

} // namespace

TEST(SessionRefresh, FramesCountAtOnceTheViewsAtMostOncePerInterval) {
    SessionRig r(60000); // an interval no test run reaches
    MonitorSession& s = *r.session;
    QSignalSpy batches(&s, &MonitorSession::batchEnded);
    s.loadStores();
    s.startAccounting();
    ASSERT_TRUE(s.beginMonitoring());
    r.traffic(100);
    EXPECT_EQ(batches.size(), 1); // the first batch is shown at once
    r.traffic(100);
    r.traffic(100);
    EXPECT_EQ(s.frames().packetCount, 3.0); // counted as they came
    EXPECT_EQ(batches.size(), 1);           // shown when the interval has passed
    s.stopCapture();
    EXPECT_EQ(batches.size(), 2); // stopping shows the last frames
    s.closeStores();
}

TEST(RefreshPacer, RefreshesAtOnceOrOnceWhenTheIntervalHasPassed) {
    struct Row {
        int interval;
        QList<qint64> requests; // the times of the requests, in ms
        QList<bool> ranNow;     // whether each one refreshed at once
        bool waitingAtEnd;
    };
    const QList<Row> rows = {
        {50, {0, 10, 20}, {true, false, false}, true},
        {50, {0, 50, 100}, {true, true, true}, false},
        {50, {0, 49, 120}, {true, false, true}, false}, // a later batch takes the waiting one
        {0, {0, 0, 0}, {true, true, true}, false},
        {50, {1000, 5}, {true, true}, false}, // the clock stepped back: refresh, never stall
    };
    for (const Row& row : rows) {
        qint64 now = 0;
        int refreshes = 0;
        RefreshPacer pacer([&] { ++refreshes; }, row.interval, [&] { return now; });
        for (int i = 0; i < row.requests.size(); ++i) {
            now = row.requests[i];
            EXPECT_EQ(pacer.request(), row.ranNow[i])
                << "interval " << row.interval << ", request " << i;
        }
        EXPECT_EQ(pacer.waiting(), row.waitingAtEnd);
        const int before = refreshes;
        pacer.runWaiting();
        EXPECT_EQ(refreshes, before + (row.waitingAtEnd ? 1 : 0));
    }
    // A waiting refresh runs by itself once its time has come.
    int refreshes = 0;
    RefreshPacer pacer([&] { ++refreshes; }, 20);
    pacer.request();
    pacer.request();
    EXPECT_TRUE(QTest::qWaitFor([&] { return refreshes == 2; }, 5000));
}

TEST(SessionAddresses, AnAddressAddedOrRemovedWhileMonitoringCountsFromTheNextFrame) {
    SessionRig r;
    r.session->settings().gInterfaceToWatch = QStringLiteral("eth0");
    ASSERT_TRUE(r.session->startMonitoring());
    const struct {
        QStringList addresses; // eth0's addresses when the frame arrives
        bool told;             // the system said they changed
        TrafficCounters::Row row;
    } steps[] = {
        {{"10.0.0.1"}, true, TrafficCounters::Passthru},
        {{"10.0.0.1", "10.0.0.7"}, false, TrafficCounters::Passthru}, // not yet told
        {{"10.0.0.1", "10.0.0.7"}, true, TrafficCounters::Received},
        {{"10.0.0.1", "fe80::1"}, true, TrafficCounters::Passthru},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.addresses.join(' ').toStdString());
        r.capture.setAdapters(
            {FakeCapture::ethernet("eth0", "Ethernet adapter eth0", step.addresses)});
        if (step.told)
            r.addressChanges.fire();
        const TrafficCounters before = r.session->frames().counters;
        r.capture.firePacket(FrameBuilder::udp(0x0A000009, 0x0A000007, 10));
        EXPECT_GT(r.session->frames().counters.transfer(step.row), before.transfer(step.row));
    }
    EXPECT_EQ(r.session->monitor()->localAddresses, QStringList({"10.0.0.1", "fe80::1"}));
}

TEST(SessionIpv6, CountedWhenAskedElseBookedToTheDayAsNotCounted) {
    for (const bool count : {false, true}) {
        SCOPED_TRACE(count ? "counted" : "not counted");
        SessionRig r;
        const QString folder = QStringLiteral("/logs");
        r.session->openUsageLog(folder);
        r.session->settings().gInterfaceToWatch = QStringLiteral("eth0");
        r.session->settings().gCountIPv6 = count;
        r.session->settings().announce(Settings::Switches);
        r.capture.setAdapters(
            {FakeCapture::ethernet("eth0", "Ethernet adapter eth0", {"10.0.0.1", "fd00:77::1"})});
        ASSERT_TRUE(r.session->startMonitoring());
        const QByteArray frame = FrameBuilder::ipv6("2001:db8::9", "fd00:77::1", 30);
        for (int i = 0; i < 3; ++i)
            r.capture.firePacket(frame);
        // Read before the tick, which starts the day's statistics afresh.
        const double received = r.session->frames().counters.transfer(TrafficCounters::Received);
        r.session->timer2Tick();
        r.session->closeStores();
        EXPECT_EQ(received, count ? 3.0 * frame.size() : 0.0);
        const QByteArray coverage =
            r.fs.file(folder + QStringLiteral("/%1.coverage").arg(r.clock.today().year()));
        const QByteArray noted = '\t' + QByteArray::number(3 * frame.size()) + "\t3";
        EXPECT_EQ(coverage.contains(noted + "\r\n"), !count) << coverage.data();
    }
}
