// Counting the frames the capture could not deliver: per run and per day, the status line,
// and how pcap_stats' drop counters are read.
#include "capture/CaptureLoss.h"
#include "platform/PcapSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

const QDate kDay1(2026, 12, 8);
const QDate kDay2(2026, 12, 9);

/// One step: a tick with frames dropped on a day, or a statistics reset; then the counts.
struct Step {
    enum { Tick, Reset } what;
    quint64 dropped;
    QDate day;
    quint64 run, dayCount;
};

struct Sequence {
    const char* name;
    std::vector<Step> steps;
};

TEST(CaptureLoss, RunAndDayCountsThroughTicksResetsAndDayChanges) {
    const Sequence sequences[] = {
        {"nothing lost", {{Step::Tick, 0, kDay1, 0, 0}, {Step::Tick, 0, kDay1, 0, 0}}},
        {"ticks add up",
         {{Step::Tick, 1234, kDay1, 1234, 1234},
          {Step::Tick, 0, kDay1, 1234, 1234},
          {Step::Tick, 66, kDay1, 1300, 1300}}},
        {"a reset zeroes the run, not the day",
         {{Step::Tick, 500, kDay1, 500, 500},
          {Step::Reset, 0, {}, 0, 500},
          {Step::Tick, 7, kDay1, 7, 507}}},
        {"a new day starts its own count, the run goes on",
         {{Step::Tick, 500, kDay1, 500, 500},
          {Step::Tick, 20, kDay2, 520, 20},
          {Step::Tick, 0, kDay2, 520, 20}}},
        {"a day change with nothing lost still starts the day at 0",
         {{Step::Tick, 9, kDay1, 9, 9}, {Step::Tick, 0, kDay2, 9, 0}}},
        {"a clock set back to an earlier day starts that day again",
         {{Step::Tick, 9, kDay2, 9, 9}, {Step::Tick, 4, kDay1, 13, 4}}},
        {"an unknown day keeps the day counted",
         {{Step::Tick, 9, kDay1, 9, 9}, {Step::Tick, 1, QDate(), 10, 10}}},
    };
    for (const Sequence& seq : sequences) {
        SCOPED_TRACE(seq.name);
        CaptureLoss loss;
        int i = 0;
        for (const Step& s : seq.steps) {
            SCOPED_TRACE(i++);
            if (s.what == Step::Tick)
                loss.tick(s.dropped, s.day);
            else
                loss.resetRun();
            EXPECT_EQ(loss.runCount(), s.run);
            EXPECT_EQ(loss.dayCount(), s.dayCount);
        }
    }
}

TEST(CaptureLoss, DayCountBelongsToTheDayTicked) {
    CaptureLoss loss;
    loss.tick(3, kDay1);
    EXPECT_EQ(loss.day(), kDay1);
    loss.tick(0, kDay2);
    EXPECT_EQ(loss.day(), kDay2);
}

TEST(CaptureLoss, StatusLineIsPlainDecimalAndEmptyWhenNothingWasLost) {
    const struct {
        quint64 count;
        const char* text;
    } cases[] = {
        {0, ""},
        {1, "Frames lost by the capture: 1"},
        {190000, "Frames lost by the capture: 190000"},
        {4294967296ull, "Frames lost by the capture: 4294967296"},
        {std::numeric_limits<quint64>::max(), "Frames lost by the capture: 18446744073709551615"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CaptureLoss::statusText(c.count), QString::fromLatin1(c.text)) << c.count;
}

TEST(PcapDropCounters, AdvanceFromTheLastReadingAndFromZeroWhenTheyGoBack) {
    const struct {
        quint32 before, now;
        quint64 advance;
    } cases[] = {
        {0, 0, 0},
        {0, 17, 17},
        {100, 250, 150},
        {250, 250, 0},
        {250, 40, 40},       // went back: the counter started again
        {4294967295u, 3, 3}, // wrapped
        {0, 4294967295u, 4294967295u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pcapsupport::counterAdvance(c.before, c.now), c.advance)
            << c.before << " -> " << c.now;
}

} // namespace
