// Traffic an adapter carried while it was not watched: between runs in one boot, after the
// adapter was re-created, on the first start in a boot, and what an unreadable state tells.
#include "platform/fakes/FakeFileSystem.h"
#include "platform/fakes/FakeInterfaceCounters.h"
#include "usage/CoverageLog.h"
#include "usage/UnwatchedTraffic.h"

#include <gtest/gtest.h>

namespace {

const QString kFolder = QStringLiteral("/logs");
const QString kState = QStringLiteral("/logs/watched.state");
const QString kEth0 = QStringLiteral("eth0");
const QDate kDay(2026, 12, 8);

InterfaceCounts counts(quint64 rxBytes, quint64 txBytes, quint64 rxFrames, quint64 txFrames,
                       quint64 index = 4) {
    return InterfaceCounts{index, rxBytes, txBytes, rxFrames, txFrames};
}

TEST(UnwatchedTraffic, DifferenceCountsACounterThatWentBackFromZero) {
    const struct {
        InterfaceCounts then, now;
        quint64 bytes, frames;
    } cases[] = {
        {counts(100, 50, 3, 2), counts(100, 50, 3, 2), 0, 0},
        {counts(100, 50, 3, 2), counts(1100, 250, 13, 4), 1200, 12},
        // re-created adapter: every counter below its old value starts again from 0
        {counts(5000, 4000, 50, 40), counts(300, 200, 3, 2), 500, 5},
        // only one counter went back (a driver that resets one direction)
        {counts(5000, 4000, 50, 40), counts(6000, 10, 60, 1), 1010, 11},
        // re-created under the same name (another index), already past the old counters
        {counts(5000, 4000, 50, 40), counts(9000, 8000, 90, 80, 5), 17000, 170},
        // an index that cannot be told does not count as another adapter
        {counts(5000, 4000, 50, 40, 0), counts(6000, 4000, 60, 40), 1000, 10},
        {counts(0, 0, 0, 0), counts(18000000000000000000ull, 0, 1, 0), 18000000000000000000ull, 1},
    };
    for (const auto& c : cases) {
        const UnwatchedTraffic::Gap gap = UnwatchedTraffic::difference(c.then, c.now);
        EXPECT_TRUE(gap.known);
        EXPECT_EQ(gap.bytes, c.bytes) << c.now.rxBytes;
        EXPECT_EQ(gap.frames, c.frames) << c.now.rxBytes;
    }
}

TEST(UnwatchedTraffic, StartsOfARunAgainstWhatTheStateFileRemembers) {
    const struct {
        const char* name;
        const char* state; // the state file before the start; null: no file
        bool unreadable;
        QByteArray boot;
        InterfaceCounts now;
        UnwatchedTraffic::Gap gap;
        const char* stateAfter;
    } cases[] = {
        {"first start ever: everything since the adapter came up",
         nullptr,
         false,
         "b1",
         counts(1000, 200, 10, 2),
         {1200, 12, true},
         "b1\teth0\t4\t1000\t200\t10\t2\r\n"},
        {"same boot: what went by since the last moment watched",
         "b1\teth0\t4\t1000\t200\t10\t2\r\n",
         false,
         "b1",
         counts(4000, 700, 40, 7),
         {3500, 35, true},
         "b1\teth0\t4\t4000\t700\t40\t7\r\n"},
        {"first start in a new boot: since the adapter came up",
         "b0\teth0\t4\t9000\t9000\t90\t90\r\n",
         false,
         "b1",
         counts(300, 0, 3, 0),
         {300, 3, true},
         "b1\teth0\t4\t300\t0\t3\t0\r\n"},
        {"adapter re-created meanwhile: counts from 0",
         "b1\teth0\t4\t1000\t200\t10\t2\r\n",
         false,
         "b1",
         counts(50, 20, 1, 1),
         {70, 2, true},
         "b1\teth0\t4\t50\t20\t1\t1\r\n"},
        {"adapter re-created with another index: counts from 0",
         "b1\teth0\t3\t10\t10\t1\t1\r\n",
         false,
         "b1",
         counts(50, 20, 1, 1),
         {70, 2, true},
         "b1\teth0\t4\t50\t20\t1\t1\r\n"},
        {"a line of the old form is no memory",
         "b1\teth0\t10\t10\t1\t1\r\n",
         false,
         "b1",
         counts(50, 20, 1, 1),
         {70, 2, true},
         "b1\teth0\t4\t50\t20\t1\t1\r\n"},
        {"another adapter's line is kept and not used",
         "b1\twlan0\t4\t10\t10\t1\t1\r\n",
         false,
         "b1",
         counts(100, 0, 1, 0),
         {100, 1, true},
         "b1\teth0\t4\t100\t0\t1\t0\r\nb1\twlan0\t4\t10\t10\t1\t1\r\n"},
        {"a damaged line is no memory",
         "b1\teth0\t4\t1000\t2x0\t10\t2\r\nb1\teth0\t5\r\n",
         false,
         "b1",
         counts(1000, 200, 10, 2),
         {1200, 12, true},
         "b1\teth0\t4\t1000\t200\t10\t2\r\n"},
        {"an unreadable state file: not known, left alone",
         "b1\teth0\t4\t1\t1\t1\t1\r\n",
         true,
         "b1",
         counts(1000, 200, 10, 2),
         {0, 0, false},
         "b1\teth0\t4\t1\t1\t1\t1\r\n"},
        {"a booking a killed run left is kept until finished",
         "b1\teth0\t4\t1000\t200\t10\t2\r\nbooking\t2026-12-08\t700\t7\r\n",
         false,
         "b1",
         counts(1000, 200, 10, 2),
         {0, 0, true},
         "b1\teth0\t4\t1000\t200\t10\t2\r\nbooking\t2026-12-08\t700\t7\r\n"},
        {"the boot cannot be told: not known",
         nullptr,
         false,
         "",
         counts(1000, 200, 10, 2),
         {0, 0, false},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        if (c.state != nullptr)
            fs.setFile(kState, c.state);
        if (c.unreadable)
            fs.unreadable.insert(kState);
        FakeInterfaceCounters counters;
        counters.boot = c.boot;
        counters.adapters[kEth0] = c.now;
        UnwatchedTraffic unwatched(fs, counters, kFolder);
        const UnwatchedTraffic::Gap gap = unwatched.monitoringStarts(kEth0);
        EXPECT_EQ(gap, c.gap);
        EXPECT_FALSE(fs.fileExists(kState) && c.state == nullptr) << "written before booked";
        CoverageLog coverage(fs, kFolder);
        EXPECT_EQ(unwatched.bookInto(coverage, kDay, gap), gap.bytes > 0 || gap.frames > 0);
        EXPECT_EQ(coverage.totals(kDay).unwatchedBytes, gap.bytes);
        fs.unreadable.clear();
        EXPECT_EQ(fs.fileExists(kState), c.stateAfter != nullptr);
        if (c.stateAfter != nullptr) {
            EXPECT_EQ(fs.file(kState), QByteArray(c.stateAfter));
        }
    }
}

TEST(UnwatchedTraffic, WatchingKeepsTheMemoryCurrentAcrossRunsAndLosses) {
    FakeFileSystem fs;
    FakeInterfaceCounters counters;
    counters.adapters[kEth0] = counts(1000, 0, 10, 0);
    {
        UnwatchedTraffic run(fs, counters, kFolder);
        EXPECT_EQ(run.monitoringStarts(kEth0), (UnwatchedTraffic::Gap{1000, 10, true}));
        counters.carry(kEth0, 500, 5); // watched: not a gap
        run.watched(kEth0);
        EXPECT_EQ(fs.file(kState), QByteArray("boot-1\teth0\t4\t1500\t0\t15\t0\r\n"));
        const int writes = fs.persistentWrites();
        run.watched(kEth0); // nothing changed: nothing written
        EXPECT_EQ(fs.persistentWrites(), writes);

        // The adapter is lost: no counters while it is gone, the memory stays.
        counters.adapters.remove(kEth0);
        run.watched(kEth0);
        EXPECT_EQ(run.monitoringStarts(kEth0), UnwatchedTraffic::Gap{});
        // It comes back re-created and carries 80 bytes before monitoring starts again.
        counters.adapters[kEth0] = counts(0, 0, 0, 0);
        counters.carry(kEth0, 80, 2);
        EXPECT_EQ(run.monitoringStarts(kEth0), (UnwatchedTraffic::Gap{80, 2, true}));
        counters.carry(kEth0, 20, 1);
        run.watched(kEth0);
    }
    // Between two runs the adapter carries 4,000 bytes in 40 frames.
    counters.carry(kEth0, 4000, 40);
    UnwatchedTraffic next(fs, counters, kFolder);
    EXPECT_EQ(next.monitoringStarts(kEth0), (UnwatchedTraffic::Gap{4000, 40, true}));
    // A second start at once finds nothing between.
    EXPECT_EQ(next.monitoringStarts(kEth0), (UnwatchedTraffic::Gap{0, 0, true}));
}

TEST(UnwatchedTraffic, ANewAdapterOfTheSameNameIsNotTakenAsWatched) {
    FakeFileSystem fs;
    FakeInterfaceCounters counters;
    counters.adapters[kEth0] = counts(1000, 0, 10, 0, 4);
    UnwatchedTraffic run(fs, counters, kFolder);
    run.monitoringStarts(kEth0);
    // The adapter is gone and a new one of the same name has carried 600 bytes by the time the
    // loss is handled: those were not watched.
    counters.adapters[kEth0] = counts(600, 0, 6, 0, 9);
    run.watched(kEth0);
    EXPECT_EQ(run.monitoringStarts(kEth0), (UnwatchedTraffic::Gap{600, 6, true}));
}

TEST(UnwatchedTraffic, AStateFileThatCannotBeWrittenBooksNothing) {
    const QByteArray old = "boot-1\teth0\t4\t10\t0\t1\t0\r\n";
    const struct {
        const char* name;
        int failingOpens; // opens of the state file that fail (another user's file)
        bool failingWrites;
        UnwatchedTraffic::Gap gap;
        quint64 booked;
        const char* stateAfter;
    } cases[] = {
        {"another user's readable file is replaced, its memory kept",
         1,
         false,
         {90, 9, true},
         90,
         "boot-1\teth0\t4\t100\t0\t10\t0\r\n"},
        {"a file that cannot be replaced: nothing known",
         1000,
         false,
         {0, 0, false},
         0,
         "boot-1\teth0\t4\t10\t0\t1\t0\r\n"},
        {"a booking that cannot be written is not made",
         0,
         true,
         {90, 9, true},
         0,
         "boot-1\teth0\t4\t10\t0\t1\t0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        fs.setFile(kState, old);
        int opens = 0;
        bool writesFail = false;
        fs.failWrite = [&](const QString& path) {
            return path == kState && (opens++ < c.failingOpens || writesFail);
        };
        FakeInterfaceCounters counters;
        counters.adapters[kEth0] = counts(100, 0, 10, 0);
        UnwatchedTraffic run(fs, counters, kFolder);
        writesFail = c.failingWrites;
        CoverageLog coverage(fs, kFolder);
        const UnwatchedTraffic::Gap gap = run.monitoringStarts(kEth0);
        EXPECT_EQ(gap, c.gap);
        run.bookInto(coverage, kDay, gap);
        EXPECT_EQ(coverage.totals(kDay).unwatchedBytes, c.booked);
        fs.failWrite = nullptr;
        EXPECT_EQ(fs.file(kState), QByteArray(c.stateAfter));
    }
}

TEST(UnwatchedTraffic, AStartWhoseCountersCannotBeReadIsToldByTheFirstTickThatCan) {
    FakeFileSystem fs;
    fs.setFile(kState, "boot-1\teth0\t4\t100\t0\t10\t0\r\n");
    FakeInterfaceCounters counters;
    UnwatchedTraffic run(fs, counters, kFolder);
    EXPECT_EQ(run.monitoringStarts(kEth0), UnwatchedTraffic::Gap{});
    EXPECT_EQ(run.watched(kEth0), UnwatchedTraffic::Gap{});
    counters.adapters[kEth0] = counts(350, 0, 13, 0);
    EXPECT_EQ(run.watched(kEth0), (UnwatchedTraffic::Gap{250, 3, true}));
    counters.carry(kEth0, 50, 1);
    EXPECT_EQ(run.watched(kEth0), (UnwatchedTraffic::Gap{})) << "told once";
}

} // namespace
