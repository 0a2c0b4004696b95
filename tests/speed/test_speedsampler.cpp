#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"
#include "support/LocalText.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

struct Plot {
    double speed;
    QString figure;
};

/// A sampler on a fake clock with every signal recorded.
struct Rig {
    FakeClock clock;
    TrafficCounters counters;
    FakeMessageBoxes boxes;
    DisplayUnits units;
    SpeedSampler sampler{clock, counters, &boxes, units};
    int copies = 0, scrolls = 0;
    std::vector<Plot> plots;
    std::vector<QString> averages;
    std::vector<std::pair<int, double>> trays; ///< picture and Total of each sample

    Rig() {
        QObject::connect(&sampler, &SpeedSampler::imagesChanged, [this] { ++copies; });
        QObject::connect(&sampler, &SpeedSampler::scrolled, [this] { ++scrolls; });
        QObject::connect(&sampler, &SpeedSampler::sampled, [this](double v, const QString& f) {
            plots.push_back({v, f});
        });
        QObject::connect(&sampler, &SpeedSampler::averageChanged,
                         [this](const QString& t) { averages.push_back(t); });
        QObject::connect(&sampler, &SpeedSampler::activity,
                         [this](int p, double total) { trays.emplace_back(p, total); });
        sampler.start();
    }
    /// Ten ticks 100 ms apart: one second and one sample; bytes arrive download-wise first.
    void second(double download, double upload = 0, double passby = 0) {
        for (int i = 0; i < 10; ++i) {
            clock.advance(100);
            if (i == 0) {
                if (download > 0)
                    counters.add(Direction::Download, download, download, 0);
                if (upload > 0)
                    counters.add(Direction::Upload, upload, upload, 0);
                if (passby > 0)
                    counters.add(Direction::Passby, passby, passby, 0);
            }
            sampler.tick();
        }
    }
};

TEST(SpeedSampler, OneSamplePerTenTicks) {
    Rig r;
    for (int i = 0; i < 9; ++i) {
        r.clock.advance(100);
        r.sampler.tick();
        EXPECT_EQ(r.sampler.tickCounter(), i + 1);
    }
    EXPECT_EQ(r.copies, 9);
    EXPECT_EQ(r.scrolls, 0);
    EXPECT_TRUE(r.plots.empty());
    r.clock.advance(100);
    r.sampler.tick();
    EXPECT_EQ(r.sampler.tickCounter(), 0);
    EXPECT_EQ(r.scrolls, 1);
    EXPECT_EQ(r.plots.size(), 1u);
    EXPECT_EQ(r.sampler.sampleCount(), 1);
    for (int s = 0; s < 4; ++s)
        r.second(0);
    EXPECT_EQ(r.copies, 9 * 5);
    EXPECT_EQ(r.scrolls, 5);
    EXPECT_EQ(r.sampler.sampleCount(), 5);
}

TEST(SpeedSampler, CurrentSpeedFromTheTotalsGrowth) {
    Rig r;
    r.second(1536);
    ASSERT_EQ(r.plots.size(), 1u);
    EXPECT_DOUBLE_EQ(r.plots[0].speed, 1536.0);
    EXPECT_EQ(r.plots[0].figure, local("1.50"));
    EXPECT_EQ(r.sampler.currentSpeed(), 0.0); // cleared after the sample
    EXPECT_EQ(r.sampler.lastTotal(), 1536.0);
    EXPECT_EQ(r.sampler.sample(0).bytes, 1536.0);
    EXPECT_EQ(r.sampler.sample(0).sampleTime, r.clock.tickCount());
    // One sample: elapsed is taken as 1 s.
    EXPECT_EQ(r.averages.back(), local("1.50 KB/s"));

    r.units.speed = 0;
    r.second(1536);
    EXPECT_EQ(r.plots.back().figure, QStringLiteral("12"));
    // Two samples of 1536 B over the 2 s they cover.
    EXPECT_EQ(r.averages.back(), QStringLiteral("12 kbps"));
}

TEST(SpeedSampler, SlowTickStretchesTheInterval) {
    Rig r;
    for (int i = 0; i < 9; ++i)
        r.sampler.tick();
    r.counters.add(Direction::Download, 4096, 4096, 0);
    r.clock.advance(2000); // the timer was late
    r.sampler.tick();
    ASSERT_EQ(r.plots.size(), 1u);
    EXPECT_DOUBLE_EQ(r.plots[0].speed, 2048.0);
}

TEST(SpeedSampler, SixtySampleWindowAndAverage) {
    Rig r;
    for (int s = 1; s <= 70; ++s)
        r.second(10240.0 * s);
    EXPECT_EQ(r.sampler.sampleCount(), 60);
    double sum = 0;
    for (int s = 11; s <= 70; ++s)
        sum += 10240.0 * s;
    EXPECT_DOUBLE_EQ(r.sampler.windowBytes(), sum);
    EXPECT_EQ(r.sampler.sample(0).bytes, 10240.0 * 11);
    EXPECT_EQ(r.sampler.sample(59).bytes, 10240.0 * 70);
    EXPECT_EQ(r.sampler.sample(59).sampleTime - r.sampler.sample(0).sampleTime, 59000u);
    EXPECT_EQ(r.sampler.windowMs(), 60000.0);
    // 60 samples over the 60 s they cover.
    EXPECT_EQ(r.averages.back(), local("405.00 KB/s"));
}

/// Samples taken at uneven times: the average divides the window's bytes by the time its samples
/// cover (each from the sample before it, the first from the start), whatever their number.
struct UnevenCase {
    const char* name;
    int speedUnit;
    std::vector<std::pair<qint64, double>> samples; ///< ms since the previous sample, bytes
    const char* average;
};

class UnevenSamples : public ::testing::TestWithParam<UnevenCase> {};

TEST_P(UnevenSamples, AverageOverTheRealSpan) {
    const UnevenCase& c = GetParam();
    Rig r;
    r.units.speed = c.speedUnit;
    for (const auto& [ms, bytes] : c.samples) {
        for (int i = 0; i < SpeedSampler::kTicksPerSample - 1; ++i)
            r.sampler.tick(); // the timer fell behind: no time passes until the sampling tick
        r.counters.add(Direction::Download, bytes, bytes, 0);
        r.clock.advance(ms);
        r.sampler.tick();
    }
    ASSERT_EQ(r.sampler.sampleCount(), int(c.samples.size()));
    EXPECT_EQ(r.averages.back(), local(c.average));
}

// clang-format off
const UnevenCase kUneven[] = {
    // 4096 B over 1 s + 3 s: 1024 B/s.
    {"TwoSamples3000msApart", 1, {{1000, 1024}, {3000, 3072}}, "1.00 KB/s"},
    // 6144 B over 1 s + 0.5 s + 3.5 s = 5 s.
    {"ThreeSamplesAtUnevenTimes", 1, {{1000, 2048}, {500, 1024}, {3500, 3072}}, "1.20 KB/s"},
    // 10000 B over 2 + 3 + 1 + 2 = 8 s: 1250 B/s = 10 kbps.
    {"FourSamplesInKbps", 0, {{2000, 1000}, {3000, 2000}, {1000, 3000}, {2000, 4000}}, "10 kbps"},
    // Samples closer than a second: 3072 B over 0.25 s + 0.25 s + 0.5 s.
    {"FastSamples", 1, {{250, 1024}, {250, 1024}, {500, 1024}}, "3.00 KB/s"},
    // A slow start: the first sample covers 2.5 s.
    {"LateFirstSample", 1, {{2500, 2560}}, "1.00 KB/s"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Averages, UnevenSamples, ::testing::ValuesIn(kUneven),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpeedSampler, TickCountWrapOnlyResynchronises) {
    Rig r;
    r.clock.setTick(0xFFFFFFFFu - 499);
    r.sampler.start();
    r.second(5000); // crosses the wrap: now < lastTick
    EXPECT_TRUE(r.plots.empty());
    EXPECT_EQ(r.sampler.sampleCount(), 0);
    EXPECT_EQ(r.sampler.lastTotal(), 5000.0);
    EXPECT_EQ(r.sampler.lastTick(), r.clock.tickCount());
    r.second(1024);
    ASSERT_EQ(r.plots.size(), 1u);
    EXPECT_DOUBLE_EQ(r.plots[0].speed, 1024.0);
    // No time passed at all: also only a re-sync.
    for (int i = 0; i < 10; ++i)
        r.sampler.tick();
    EXPECT_EQ(r.plots.size(), 1u);
}

TEST(SpeedSampler, AverageSpanAcrossTheWrap) {
    Rig r;
    r.clock.setTick(0xFFFFFFFFu - 1500);
    r.sampler.start();
    r.second(1024); // tick 0xFFFFFFFF - 500
    r.second(1024); // wrapped: re-sync only
    r.second(1024);
    r.second(1024);
    ASSERT_EQ(r.sampler.sampleCount(), 3);
    EXPECT_EQ(r.sampler.sample(2).sampleTime - r.sampler.sample(0).sampleTime, 3000u);
    EXPECT_EQ(r.averages.back(), local("1.00 KB/s")); // 3 KiB of samples over 3 s
}

TEST(SpeedSampler, FrozenDisplayStillSamplesWhileGraphAndMeterStandStill) {
    Rig r;
    r.second(2048);
    const QString before = r.averages.back();
    r.sampler.displayFrozen = true;
    r.second(4096);
    r.second(4096);
    // No step and no point while frozen: the graph keeps no false zeros.
    EXPECT_EQ(r.scrolls, 1);
    ASSERT_EQ(r.plots.size(), 1u);
    EXPECT_EQ(r.averages.size(), 1u);
    EXPECT_EQ(r.averages.back(), before);
    EXPECT_EQ(r.sampler.sampleCount(), 3);
    EXPECT_EQ(r.sampler.windowBytes(), 2048.0 + 8192.0);
    EXPECT_EQ(r.copies, 27) << "the images are still copied to the screen";
    r.sampler.displayFrozen = false;
    r.second(1024);
    EXPECT_EQ(r.scrolls, 2);
    ASSERT_EQ(r.plots.size(), 2u);
    EXPECT_DOUBLE_EQ(r.plots.back().speed, 1024.0) << "the thaw goes on with the real speed";
    EXPECT_EQ(r.averages.size(), 2u);
    EXPECT_EQ(r.averages.back(), local("2.75 KB/s")); // 11264 B over 4 s
}

TEST(SpeedSampler, SteadyTrafficAveragesToItsRateFromTheFirstSample) {
    // 25,000 B/s = 24.41 KB/s, however few samples were taken; the first sample covers the
    // time since the start, also when start-up made it late.
    struct Case {
        const char* name;
        qint64 firstSampleMs;
        int samples;
    };
    const Case cases[] = {{"one second", 1000, 1},      {"two seconds", 1000, 2},
                          {"three seconds", 1000, 3},   {"a full window", 1000, 60},
                          {"past the window", 1000, 75}, {"a late first sample", 2500, 1},
                          {"a late first sample, then more", 2500, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        for (int s = 0; s < c.samples; ++s) {
            const qint64 ms = s == 0 ? c.firstSampleMs : 1000;
            for (int i = 0; i < SpeedSampler::kTicksPerSample - 1; ++i)
                r.sampler.tick();
            r.counters.add(Direction::Download, 25.0 * double(ms), 25.0 * double(ms), 0);
            r.clock.advance(ms);
            r.sampler.tick();
        }
        EXPECT_EQ(r.averages.back(), local("24.41 KB/s"));
    }
}

TEST(SpeedSampler, ResetEmptiesWindowButKeepsLastTotal) {
    Rig r;
    r.second(5000);
    r.second(5000);
    r.sampler.reset();
    EXPECT_EQ(r.sampler.sampleCount(), 0);
    EXPECT_EQ(r.sampler.windowBytes(), 0.0);
    EXPECT_EQ(r.sampler.lastTotal(), 10000.0);
    r.counters.reset(); // the statistics reset zeroes the counters too
    r.second(300);      // below lastTotal: the interval counts 0 bytes
    EXPECT_EQ(r.sampler.sample(0).bytes, 0.0);
    EXPECT_EQ(r.plots.back().speed, 0.0);
    r.second(700);
    EXPECT_EQ(r.sampler.sample(1).bytes, 700.0);
}

TEST(SpeedSampler, TrayPictureFollowsDirections) {
    Rig r;
    struct Step {
        double down, up, by;
        int picture;
    };
    const Step steps[] = {{0, 0, 0, 1},  {10, 0, 0, 2},  {0, 10, 0, 3},  {10, 10, 0, 4},
                          {0, 0, 10, 4}, {10, 0, 10, 4}, {0, 10, 10, 4}, {0, 0, 0, 1}};
    for (const Step& s : steps) {
        r.second(s.down, s.up, s.by);
        ASSERT_FALSE(r.trays.empty());
        EXPECT_EQ(r.trays.back().first, s.picture) << s.down << s.up << s.by;
    }
    EXPECT_EQ(r.trays.back().second, 90.0);
    EXPECT_EQ(r.trays.size(), std::size(steps));
}

TEST(SpeedSampler, ErrorInATickShowsTimer1BoxWithoutStacking) {
    Rig r;
    QObject::connect(&r.sampler, &SpeedSampler::sampled,
                     [](double, const QString&) { throw std::runtime_error("no surface"); });
    r.second(100);
    ASSERT_EQ(r.boxes.boxes.size(), 1);
    EXPECT_EQ(r.boxes.boxes[0].text, QStringLiteral("Error in Timer1:\r\nno surface"));
    EXPECT_EQ(r.sampler.sampleCount(), 0); // the tick ended at the error
    r.boxes.holdOpen = true;
    r.second(100);
    EXPECT_EQ(r.boxes.boxes.size(), 1);
    // A failing average label is ignored, the tick goes on.
    Rig q;
    QObject::connect(&q.sampler, &SpeedSampler::averageChanged,
                     [](const QString&) { throw std::runtime_error("label"); });
    q.second(100);
    EXPECT_TRUE(q.boxes.boxes.isEmpty());
    EXPECT_EQ(q.sampler.lastTotal(), 100.0);
}

} // namespace
