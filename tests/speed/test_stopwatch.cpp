// The stopwatch's measurement on a fake clock: time text, picture, figures and the average
// over the newest 100 ticks.
#include "platform/fakes/FakeClock.h"
#include "speed/Format.h"
#include "speed/Stopwatch.h"
#include "speed/StopwatchPictures.h"
#include "speed/StopwatchView.h"
#include "support/LocalText.h"

#include <gtest/gtest.h>

namespace {

/// Keeps the last text of every control and counts the figure updates.
struct RecordingView final : StopwatchView {
    QString figures[TrafficCounters::kRows][TrafficCounters::kColumns];
    QString elapsed, average;
    int picture = 0;
    int figureUpdates = 0;

    void setFigureText(TrafficCounters::Row r, TrafficCounters::Column c,
                       const QString& t) override {
        figures[r][c] = t;
        ++figureUpdates;
    }
    void setElapsedText(const QString& t) override { elapsed = t; }
    void setPicture(int i) override { picture = i; }
    void setAvgSpeedText(const QString& t) override { average = t; }

    /// The twelve figures row by row.
    QStringList all() const {
        QStringList list;
        for (const auto& row : figures)
            for (const QString& f : row)
                list << f;
        return list;
    }
};

struct Rig {
    explicit Rig(DisplayUnits shown = {}) : units(shown) { stopwatch.setView(&view); }
    FakeClock clock;
    TrafficCounters counters;
    RecordingView view;
    DisplayUnits units;
    Stopwatch stopwatch{clock, counters, units};
    /// 100 ms pass and the stopwatch ticks.
    void tick(qint64 ms = 100) {
        clock.advance(ms);
        stopwatch.tick();
    }
};

TEST(Stopwatch, TimeTextOfElapsedMilliseconds) {
    struct Case {
        quint32 ms;
        const char* text;
    };
    const Case cases[] = {
        {0, "00:00:00.0"},
        {3725400, "01:02:05.4"},
        {59940, "00:00:59.9"},
        {59960, "00:01:00.0"},   // rounds up and carries: never "00:00:60.0"
        {3599999, "01:00:00.0"}, // and into the hours
        {36000000, "10:00:00.0"},
        {362439900, "100:40:39.9"}, // hours are not cut to two digits
        {4294967295u, "1193:02:47.3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Stopwatch::timeText(c.ms), local(c.text)) << c.ms;
}

TEST(Stopwatch, TicksShowTheElapsedTimeAlsoAcrossTheTickCountWrap) {
    struct Case {
        quint32 startTick;
        qint64 advance;
        const char* text;
    };
    const Case cases[] = {{1000, 3725400, "01:02:05.4"},
                          {1000, 36000000 + 61000, "10:01:01.0"},
                          {0xFFFFF000u, 10000, "00:00:10.0"}};
    for (const Case& c : cases) {
        Rig r;
        r.clock.setTick(c.startTick);
        r.stopwatch.start();
        EXPECT_EQ(r.view.elapsed, local("00:00:00.0"));
        r.tick(c.advance);
        EXPECT_EQ(r.view.elapsed, local(c.text)) << c.startTick << " " << c.advance;
    }
}

TEST(Stopwatch, PictureAdvancesOncePerSecondThroughTwelve) {
    // Elapsed time of a tick -> picture for the next tick.
    struct Case {
        quint32 ms;
        int picture;
    };
    const Case cases[] = {{0, 12},     {900, 12},   {1000, 1},   {1900, 1},
                          {11000, 11}, {12000, 12}, {13000, 1},  {23900, 11},
                          {59960, 12}, {61000, 1},  {3725400, 5}};
    for (const Case& c : cases)
        EXPECT_EQ(Stopwatch::pictureFor(c.ms), c.picture) << c.ms;

    // The window shows the picture one tick after the time that chose it.
    Rig r;
    r.stopwatch.start();
    EXPECT_EQ(r.view.picture, 12);
    r.tick(1000); // elapsed 1.0 s: picture 1 is next
    EXPECT_EQ(r.view.picture, 12);
    EXPECT_EQ(r.stopwatch.gTimerIconNum(), 1);
    r.tick(1000); // shows 1, chooses 2
    EXPECT_EQ(r.view.picture, 1);
    EXPECT_EQ(r.stopwatch.gTimerIconNum(), 2);
}

TEST(Stopwatch, FiguresAreTheGrowthSinceTheStartInTheDisplayUnit) {
    struct Case {
        int unit;
        QStringList expected; // rows download, upload, pass-by, total; transfer, data, overhead
    };
    const Case cases[] = {
        {0,
         {"1500 ", "1000 ", "500 ", "300 ", "200 ", "100 ", "0 ", "0 ", "0 ", "1800 ", "1200 ",
          "600 "}},
        {3,
         {"1.46 K ", "1000 B ", "500 B ", "300 B ", "200 B ", "100 B ", "0 B ", "0 B ", "0 B ",
          "1.76 K ", "1.17 K ", "600 B "}},
    };
    for (const Case& c : cases) {
        Rig r({c.unit, 1});
        r.counters.add(Direction::Download, 5000, 4000, 1000); // before the start
        r.counters.add(Direction::Passby, 700, 600, 100);
        r.stopwatch.start();
        for (const QString& f : r.view.all())
            EXPECT_EQ(f, c.unit == 0 ? QStringLiteral("0 ") : QStringLiteral("0 B ")) << c.unit;
        r.counters.add(Direction::Download, 1500, 1000, 500);
        r.counters.add(Direction::Upload, 300, 200, 100);
        r.stopwatch.updateStopwatchStats();
        QStringList expected;
        for (const QString& e : c.expected)
            expected << local(e.toLatin1().constData());
        EXPECT_EQ(r.view.all(), expected) << c.unit;
    }
}

TEST(Stopwatch, StopKeepsTheFiguresAndTheNextStartBeginsFromZero) {
    Rig r({0, 1});
    r.stopwatch.updateStopwatchStats(); // not running: nothing shown
    EXPECT_EQ(r.view.figureUpdates, 0);

    r.stopwatch.start();
    r.counters.add(Direction::Download, 1000, 900, 100);
    r.tick();
    r.tick();
    // Frames counted after the last refresh still reach the figures at the stop.
    r.counters.add(Direction::Download, 24, 20, 4);
    r.stopwatch.stop();
    EXPECT_FALSE(r.stopwatch.isStopWatchActive());
    EXPECT_EQ(r.view.figures[TrafficCounters::Total][TrafficCounters::Transfer], "1024 ");
    // Stopped: frames no longer change the figures.
    r.counters.add(Direction::Upload, 500, 400, 100);
    r.stopwatch.updateStopwatchStats();
    EXPECT_EQ(r.view.figures[TrafficCounters::Total][TrafficCounters::Transfer], "1024 ");
    EXPECT_EQ(r.view.figures[TrafficCounters::Received][TrafficCounters::Headers], "104 ");

    // No pause: a new start shows zeros, the time from zero and picture 12.
    r.stopwatch.start();
    EXPECT_TRUE(r.stopwatch.isStopWatchActive());
    EXPECT_EQ(r.view.elapsed, local("00:00:00.0"));
    EXPECT_EQ(r.view.picture, 12);
    EXPECT_EQ(r.view.average, local("0.00 KB/s"));
    EXPECT_EQ(r.stopwatch.sampleCount(), 0);
    for (const QString& f : r.view.all())
        EXPECT_EQ(f, "0 ");
    r.counters.add(Direction::Upload, 10, 8, 2);
    r.stopwatch.updateStopwatchStats();
    EXPECT_EQ(r.view.figures[TrafficCounters::Sent][TrafficCounters::Transfer], "10 ");
}

TEST(Stopwatch, AverageCoversOnlyTheNewestHundredTicks) {
    struct Case {
        int speedUnit;
        const char* zero;
        const char* average;
    };
    // After 10.5 s: 105 ticks; the first five carried 1 MB each, the last hundred 1024 bytes
    // each. The window holds 102,400 bytes over the 10 s its hundred ticks cover.
    const Case cases[] = {{1, "0.00 KB/s", "10.00 KB/s"}, {0, "0 kbps", "82 kbps"}};
    for (const Case& c : cases) {
        Rig r({3, c.speedUnit});
        r.stopwatch.start();
        EXPECT_EQ(r.view.average, local(c.zero));
        for (int i = 0; i < 105; ++i) {
            r.counters.add(Direction::Download, i < 5 ? 1000000 : 1024, 1000, 24);
            r.tick();
        }
        EXPECT_EQ(r.view.elapsed, local("00:00:10.5"));
        EXPECT_EQ(r.stopwatch.sampleCount(), 100);
        EXPECT_EQ(r.stopwatch.swWindowBytes(), 102400.0);
        EXPECT_EQ(r.view.average, local(c.average)) << c.speedUnit;
    }
}

TEST(Stopwatch, SteadyTrafficAveragesToItsRateFromTheFirstTick) {
    // 2500 bytes every 100 ms are 25,000 B/s = 24.41 KB/s, however few ticks were taken; the
    // first tick covers the time since the start, also when it came late. Traffic counted
    // before the start is not part of it, and the tick count may wrap during the measurement.
    struct Case {
        const char* name;
        qint64 firstTickMs;
        int ticks;
        quint32 startTick = 1000;
        double before = 0;
    };
    const Case cases[] = {{"one tick", 100, 1},        {"two ticks", 100, 2},
                          {"a second", 100, 10},       {"a full window", 100, 100},
                          {"past the window", 100, 150}, {"a late first tick", 400, 1},
                          {"a late first tick, then more", 400, 5},
                          {"50 MB counted before the start", 100, 10, 1000, 50e6},
                          {"across the tick-count wrap", 100, 40, 0xFFFFFFFFu - 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.clock.setTick(c.startTick);
        r.counters.add(Direction::Download, c.before, c.before, 0);
        r.stopwatch.start();
        for (int i = 0; i < c.ticks; ++i) {
            const qint64 ms = i == 0 ? c.firstTickMs : 100;
            r.counters.add(Direction::Download, 25.0 * double(ms), 25.0 * double(ms), 0);
            r.tick(ms);
        }
        EXPECT_EQ(r.view.average, local("24.41 KB/s"));
    }
}

TEST(Stopwatch, TicksAtTheSameMillisecondLeaveTheAverageAlone) {
    Rig r({3, 1});
    r.stopwatch.start();
    r.counters.add(Direction::Download, 2048, 2000, 48);
    r.tick(0);
    r.counters.add(Direction::Download, 2048, 2000, 48);
    r.tick(0);
    EXPECT_EQ(r.stopwatch.sampleCount(), 2);
    EXPECT_EQ(r.view.average, local("0.00 KB/s"));
    r.tick(1000); // 4096 bytes over one second
    EXPECT_EQ(r.view.average, local("4.00 KB/s"));
}

TEST(StopwatchPictures, HandAndSectorStandAtThePictureNumber) {
    const QColor hand(0xC0, 0x00, 0x00), sector(0xA8, 0xE0, 0xA0), face(0xFF, 0xFF, 0xFF);
    struct Case {
        int index;
        QPoint at;
        QColor colour;
    };
    const Case cases[] = {
        {12, {16, 10}, hand}, {12, {11, 23}, sector}, {3, {23, 17}, hand},   {3, {21, 12}, sector},
        {3, {11, 23}, face},  {6, {16, 24}, hand},    {6, {21, 23}, sector}, {6, {11, 12}, face},
        {9, {9, 17}, hand},   {9, {11, 23}, sector},  {9, {11, 12}, face},   {1, {21, 12}, face},
    };
    for (const Case& c : cases) {
        const QImage image = StopwatchPictures::picture(c.index);
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(image.pixelColor(c.at), c.colour)
            << c.index << " at " << c.at.x() << "," << c.at.y();
    }
    // Twelve different pictures; 0 and 24 are picture 12.
    for (int i = 1; i <= 12; ++i)
        for (int j = i + 1; j <= 12; ++j)
            EXPECT_NE(StopwatchPictures::picture(i), StopwatchPictures::picture(j)) << i << j;
    EXPECT_EQ(StopwatchPictures::picture(0), StopwatchPictures::picture(12));
    EXPECT_EQ(StopwatchPictures::picture(24), StopwatchPictures::picture(12));
}

} // namespace
