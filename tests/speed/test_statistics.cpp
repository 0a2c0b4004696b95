#include "capture/FrameHandler.h"
#include "platform/fakes/FakeClock.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"
#include "speed/Statistics.h"
#include "speed/StatisticsView.h"
#include "support/FrameBuilder.h"
#include "support/LocalText.h"

#include <gtest/gtest.h>

namespace {

/// Records the texts and how often the labels were written.
struct RecordingView final : StatisticsView {
    QString cells[4][3];
    QString packets, duration, average;
    int counterWrites = 0;

    void setCounterText(TrafficCounters::Row r, TrafficCounters::Column c,
                        const QString& text) override {
        cells[r][c] = text;
        ++counterWrites;
    }
    void setPacketsText(const QString& text) override { packets = text; }
    void setDurationText(const QString& text) override { duration = text; }
    void setAvgSpeedText(const QString& text) override { average = text; }
};

/// The statistics over a frame path whose counted frames mark them stale, as the session's.
struct Rig {
    FakeClock clock;
    FrameHandler frames;
    DisplayUnits units;
    SpeedSampler sampler{clock, frames.counters, nullptr, units};
    Statistics statistics{clock, frames, &sampler, units};
    RecordingView view;
    int stopwatchRefreshes = 0;

    Rig() {
        statistics.setView(&view);
        QObject::connect(&statistics, &Statistics::refreshing, [this] { ++stopwatchRefreshes; });
        frames.setLocalAddresses({"10.0.0.1"});
    }
    // The frame path's consumer.
    bool listing() const { return false; }
    ShownAddress nameOf(quint32) { return {}; }
    ShownAddress nameOf(const IpAddress&) { return {}; }
    void listPacket(const clsPacketInfo&) {}
    void counted(const clsUsageRec&) { statistics.updateStats(false); }

    void feed(int n, quint32 source = 0x0A000001, quint32 destination = 0x0A000002) {
        const QByteArray f = FrameBuilder::tcpAck(source, destination);
        const Packet p = FrameBuilder::packetOf(f);
        for (int i = 0; i < n; ++i)
            frames.handle(p, *this);
    }
    void batchEnd() { statistics.flush(); }
};

TEST(Statistics, LabelsRefreshOncePerBatchNotPerFrame) {
    Rig r;
    r.feed(1000);
    EXPECT_EQ(r.view.counterWrites, 0);
    EXPECT_TRUE(r.statistics.pending());
    r.batchEnd();
    EXPECT_EQ(r.view.counterWrites, 12);
    EXPECT_EQ(r.stopwatchRefreshes, 1);
    EXPECT_EQ(r.view.cells[TrafficCounters::Sent][TrafficCounters::Transfer], local("58.59 K"));
    EXPECT_EQ(r.view.cells[TrafficCounters::Sent][TrafficCounters::Headers], local("58.59 K"));
    EXPECT_EQ(r.view.cells[TrafficCounters::Sent][TrafficCounters::Data], QStringLiteral("0 B"));
    EXPECT_EQ(r.view.cells[TrafficCounters::Received][TrafficCounters::Transfer],
              QStringLiteral("0 B"));
    EXPECT_EQ(r.view.cells[TrafficCounters::Total][TrafficCounters::Transfer], local("58.59 K"));
    EXPECT_EQ(r.view.packets, QStringLiteral("1000"));
    // Nothing new: the next flush (100 ms tick) writes nothing.
    r.statistics.flush();
    EXPECT_EQ(r.view.counterWrites, 12);
    // A frame outside a batch shows at the next tick's flush.
    r.feed(1, 0x0A000002, 0x0A000001);
    r.statistics.flush();
    EXPECT_EQ(r.view.counterWrites, 24);
    EXPECT_EQ(r.view.cells[TrafficCounters::Received][TrafficCounters::Transfer],
              QStringLiteral("60 B"));
}

TEST(Statistics, FrozenDisplayKeepsLabelsUntilForcedOrReleased) {
    Rig r;
    r.statistics.setDisplayFrozen(true);
    EXPECT_TRUE(r.sampler.displayFrozen);
    r.feed(10);
    r.batchEnd();
    EXPECT_EQ(r.view.counterWrites, 0);
    EXPECT_EQ(r.stopwatchRefreshes, 1); // the stopwatch refreshes even while frozen
    EXPECT_EQ(r.frames.packetCount, 10.0);
    r.statistics.updateStats(true); // the settings dialog's OK
    EXPECT_EQ(r.view.packets, QStringLiteral("10"));
    r.feed(5);
    r.batchEnd();
    EXPECT_EQ(r.view.packets, QStringLiteral("10"));
    r.statistics.setDisplayFrozen(false);
    EXPECT_FALSE(r.sampler.displayFrozen);
    r.statistics.updateStats(false);
    r.statistics.flush();
    EXPECT_EQ(r.view.packets, QStringLiteral("15"));
}

TEST(Statistics, ResetShowsZerosEvenWhenFrozen) {
    for (int unit : {3, 0}) {
        for (int speedUnit : {1, 0}) {
            Rig r;
            r.units = {unit, speedUnit};
            r.feed(7);
            r.batchEnd();
            r.clock.advance(3000);
            r.sampler.start();
            r.statistics.setDisplayFrozen(true);
            const double stopwatchBefore =
                r.frames.stopwatchCounters.transfer(TrafficCounters::Total);
            r.statistics.resetStatistics();
            const QString zero = unit == 3 ? QStringLiteral("0 B") : QStringLiteral("0");
            for (auto& row : r.view.cells)
                for (const QString& cell : row)
                    EXPECT_EQ(cell, zero);
            EXPECT_EQ(r.view.packets, QStringLiteral("0"));
            EXPECT_EQ(r.view.duration, QStringLiteral("00:00:00"));
            EXPECT_EQ(r.view.average, local(speedUnit == 1 ? "0.00 KB/s" : "0 kbps"));
            EXPECT_EQ(r.frames.packetCount, 0.0);
            EXPECT_EQ(r.frames.counters, TrafficCounters());
            EXPECT_EQ(r.frames.stopwatchCounters.transfer(TrafficCounters::Total), stopwatchBefore);
            EXPECT_EQ(r.sampler.sampleCount(), 0);
            EXPECT_EQ(r.statistics.statsStartTime(), r.clock.now());
        }
    }
}

TEST(Statistics, DurationSinceTheReset) {
    Rig r;
    r.statistics.resetStatistics();
    r.clock.advance((26LL * 3600 + 3 * 60 + 4) * 1000 + 999);
    r.statistics.updateDuration();
    EXPECT_EQ(r.view.duration, QStringLiteral("1 day 02:03:04"));
}

} // namespace
