// The strip chart and the level meter, read pixel by pixel. A chart picture 246 pixels wide and
// 63 high gives graphWidth 241 and graphHeight 58: the newest point is at x 238, the bottom at
// y 58, the first vertical grid line at 241 mod 12 = 1. The meter is 72 x 63 with rows at
// y = 37, 34, ..., 7.
#include "speed/TrafficGraph.h"
#include "support/TestApp.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

// Colours as 0xRRGGBB: black, RGB(0, 130, 66), RGB(0, 255, 0).
constexpr QRgb kBlack = 0x000000;
constexpr QRgb kGrid = 0x008242;
constexpr QRgb kTrace = 0x00ff00;

constexpr int kWidth = 246;
constexpr int kNewX = 238; // graphWidth - 3
constexpr int kBottom = 58;

QRgb at(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffffu;
}

/// Highest trace pixel of column x (the smallest y), or -1 when the column has none.
int columnTop(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y)
        if (at(image, x, y) == kTrace)
            return y;
    return -1;
}

/// Lit rows of the meter, counted from the bottom, read at the middle of both segments.
int litRows(const TrafficGraph& g) {
    int lit = 0;
    for (int i = 1; i <= g.barCount(); ++i) {
        const int y = g.meterRowY(i);
        const QRgb left = at(g.meterImage(), 25, y), right = at(g.meterImage(), 44, y);
        EXPECT_EQ(left, right) << "row " << i;
        if (left == kTrace)
            ++lit;
        else
            EXPECT_EQ(left, kGrid) << "row " << i << " neither lit nor dim";
    }
    return lit;
}

class TrafficGraphTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApp<QGuiApplication>(); }
};

TEST_F(TrafficGraphTest, GeometryOfTheDefaultPictures) {
    TrafficGraph g(kWidth);
    EXPECT_EQ(g.graphWidth(), 241);
    EXPECT_EQ(g.graphHeight(), 58);
    EXPECT_EQ(g.barCount(), 11);
    EXPECT_EQ(g.meterImage().size(), QSize(72, 63));
    EXPECT_EQ(g.meterRowY(1), 37);
    EXPECT_EQ(g.meterRowY(11), 7);
    EXPECT_EQ(g.lastGridX(), 229);
    EXPECT_EQ(g.lastPlotted(), 0);
    // Meter rows for other heights: y = height - 26, every 3 up, while y > 6.
    EXPECT_EQ(TrafficGraph(100, 40, 72).barCount(), 3); // 14, 11, 8
    EXPECT_EQ(TrafficGraph(100, 35, 72).barCount(), 1); // 9
    EXPECT_EQ(TrafficGraph(100, 32, 72).barCount(), 0); // 6 is not above 6
}

TEST_F(TrafficGraphTest, FirstFrameHasTheGridAndDimRows) {
    TrafficGraph g(kWidth);
    const QImage& img = g.graphImage();
    for (int x = 0; x <= 241; ++x) {
        const bool vertical = x % 12 == 1 && x <= 240;
        for (int y : {0, 5, 12, 24, 30, 36, 48, 58}) {
            const bool horizontal = y % 12 == 0 && y >= 12 && y <= 57;
            EXPECT_EQ(at(img, x, y), (vertical || horizontal) ? kGrid : kBlack) << x << "," << y;
        }
    }
    EXPECT_EQ(litRows(g), 0);
}

TEST_F(TrafficGraphTest, SpeedScalesTheColumnAndTheMeter) {
    struct Case {
        const char* what;
        double speed, bandwidth;
        int top;  // highest trace pixel of the new column
        int rows; // lit meter rows
    };
    const Case cases[] = {
        {"half of the bandwidth", 24000, 48000, 29, 5},
        {"the bandwidth", 48000, 48000, 0, 11},
        {"twice the bandwidth", 96000, 48000, 0, 11},
        {"a quarter", 12000, 48000, 43, 2}, // 14.5 -> 15 pixels; 2.75 rows -> 2
        {"nothing", 0, 48000, 58, 0},
        {"no bandwidth, traffic", 1, 0, 0, 11},
        {"no bandwidth, nothing", 0, 0, 58, 0},
        {"negative bandwidth", 500, -5, 0, 11},
    };
    for (const Case& c : cases) {
        TrafficGraph g(kWidth);
        g.gBandwidth = c.bandwidth;
        g.scroll();
        g.plot(c.speed, QStringLiteral("1"));
        EXPECT_EQ(columnTop(g.graphImage(), kNewX), c.top) << c.what;
        // A column reaches down to the bottom.
        EXPECT_EQ(at(g.graphImage(), kNewX, kBottom), kTrace) << c.what;
        EXPECT_EQ(litRows(g), c.rows) << c.what;
        EXPECT_EQ(g.lastPlotted(), kBottom - c.top) << c.what;
    }
}

TEST_F(TrafficGraphTest, EverySampleChangesBothImagesKeys) {
    // The window repaints a picture only when its image's key changed.
    TrafficGraph g(kWidth);
    const qint64 graphKey = g.graphImage().cacheKey(), meterKey = g.meterImage().cacheKey();
    g.scroll();
    EXPECT_NE(g.graphImage().cacheKey(), graphKey);
    const qint64 scrolled = g.graphImage().cacheKey();
    g.plot(0, QStringLiteral("0"));
    EXPECT_NE(g.graphImage().cacheKey(), scrolled);
    EXPECT_NE(g.meterImage().cacheKey(), meterKey);
}

TEST_F(TrafficGraphTest, TraceAdvancesTwoPixelsPerSample) {
    TrafficGraph g(kWidth);
    g.scroll();
    g.plot(96000, QStringLiteral("x"));
    EXPECT_EQ(columnTop(g.graphImage(), kNewX), 0);
    for (int step = 1; step <= 3; ++step) {
        g.scroll();
        g.plot(0, QStringLiteral("0"));
        EXPECT_EQ(columnTop(g.graphImage(), kNewX - 2 * step), 0) << step;
        EXPECT_EQ(columnTop(g.graphImage(), kNewX), kBottom) << step;
    }
    EXPECT_EQ(litRows(g), 0);
}

TEST_F(TrafficGraphTest, GridScrollsWithAThreePixelStepEverySixSamples) {
    TrafficGraph g(kWidth);
    // lastGridX after each sample: the line at 229 moves 2 a sample; when it would stand
    // 12 left of graphWidth the image moves 3 and a new line starts at 240.
    const int expected[] = {239, 237, 235, 233, 231, 240, 238, 236, 234, 232, 230, 240};
    for (int s = 1; s <= 12; ++s) {
        g.scroll();
        g.plot(0, QStringLiteral("0"));
        EXPECT_EQ(g.lastGridX(), expected[s - 1]) << "sample " << s;
        if (s == 6 || s == 12) {
            for (int x = 0; x <= 241; ++x)
                for (int y : {0, 5, 30}) {
                    const bool line = x % 12 == 0 && x <= 240;
                    EXPECT_EQ(at(g.graphImage(), x, y), line ? kGrid : kBlack)
                        << "sample " << s << " at " << x << "," << y;
                }
            // The stubs of the horizontal lines are in the new strip.
            for (int y : {12, 24, 36, 48})
                EXPECT_EQ(at(g.graphImage(), 239, y), kGrid) << y;
        }
    }
}

TEST_F(TrafficGraphTest, ThreePixelStepMovesThePlottedPointsToo) {
    TrafficGraph g(kWidth);
    for (int s = 1; s <= 4; ++s) {
        g.scroll();
        g.plot(0, QStringLiteral("0"));
    }
    g.scroll(); // sample 5
    g.plot(48000, QStringLiteral("x"));
    g.scroll(); // sample 6: the 3-pixel step
    EXPECT_EQ(columnTop(g.graphImage(), kNewX - 3), 0);
    EXPECT_NE(columnTop(g.graphImage(), kNewX - 2), 0);
}

TEST_F(TrafficGraphTest, WaveStyleDrawsFromThePreviousPoint) {
    TrafficGraph g(kWidth);
    g.gGraphStyle = 0;
    g.scroll();
    g.plot(24000, QStringLiteral("1")); // from (236, 58) to (238, 29)
    EXPECT_EQ(at(g.graphImage(), 236, 58), kTrace);
    EXPECT_EQ(at(g.graphImage(), kNewX, 29), kTrace);
    EXPECT_EQ(at(g.graphImage(), kNewX, 45), kBlack); // no column below the point
    g.scroll();
    g.plot(48000, QStringLiteral("1")); // from (236, 29) to (238, 0)
    EXPECT_EQ(at(g.graphImage(), 236, 29), kTrace);
    EXPECT_EQ(at(g.graphImage(), kNewX, 0), kTrace);
    EXPECT_EQ(at(g.graphImage(), 237, 14), kTrace); // the line between them
    EXPECT_EQ(at(g.graphImage(), kNewX, 40), kBlack);
    EXPECT_EQ(g.lastPlotted(), 58);
}

TEST_F(TrafficGraphTest, OnlyThePensColoursAppear) {
    TrafficGraph g(kWidth);
    const double speeds[] = {0, 13000, 48000, 31000, 100000, 7};
    int i = 0;
    for (double s : speeds) {
        g.gGraphStyle = i++ % 2;
        g.scroll();
        g.plot(s, QString::number(s / 1024, 'f', 2));
    }
    for (const QImage* img : {&g.graphImage(), &g.meterImage()})
        for (int y = 0; y < img->height(); ++y)
            for (int x = 0; x < img->width(); ++x) {
                const QRgb c = at(*img, x, y);
                ASSERT_TRUE(c == kBlack || c == kGrid || c == kTrace)
                    << x << "," << y << " " << std::hex << c;
            }
}

TEST_F(TrafficGraphTest, FigureIsCentredInTheBottomBandAndReplaced) {
    TrafficGraph g(kWidth);
    auto box = [&] {
        QRect r;
        const QImage& m = g.meterImage();
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x)
                if (at(m, x, y) == kTrace && y > g.meterRowY(1) + 1)
                    r |= QRect(x, y, 1, 1);
        return r;
    };
    g.plot(0, QStringLiteral("8888"));
    const QRect wide = box();
    ASSERT_FALSE(wide.isEmpty());
    EXPECT_GE(wide.top(), 63 - 22);
    EXPECT_LE(wide.bottom(), 62);
    EXPECT_LE(std::abs((wide.left() + wide.right() + 1) / 2 - 36), 2)
        << wide.left() << "-" << wide.right();
    g.plot(0, QStringLiteral("1"));
    const QRect narrow = box();
    ASSERT_FALSE(narrow.isEmpty());
    EXPECT_GT(narrow.left(), wide.left()); // the old figure is gone
    EXPECT_LT(narrow.right(), wide.right());
    EXPECT_LE(std::abs((narrow.left() + narrow.right() + 1) / 2 - 36), 2);
    // The font is Arial 16 pixels high (cell), or its metric twin.
    EXPECT_TRUE(g.meterFont().family() == QStringLiteral("Arial") ||
                g.meterFont().family() == QStringLiteral("Liberation Sans"));
    EXPECT_LE(QFontMetrics(g.meterFont()).height(), 16);
    EXPECT_GE(QFontMetrics(g.meterFont()).height(), 15);
}

TEST_F(TrafficGraphTest, DrawnAtTheScreensPixelRatioInWholePixels) {
    struct Case {
        qreal ratio;
        int grid;  // device pixels of a grid line
        int trace; // device pixels of a column
        int gap;   // device pixels between two columns
    };
    const Case cases[] = {{1, 1, 1, 1}, {1.5, 1, 2, 1}, {2, 2, 2, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ratio);
        TrafficGraph g(kWidth, 63, 72, c.ratio);
        const QImage& image = g.graphImage();
        EXPECT_EQ(image.devicePixelRatio(), c.ratio);
        EXPECT_EQ(image.size(), QSize(g.px(kWidth - 4), g.px(59)));
        EXPECT_EQ(g.meterImage().size(), QSize(g.px(72), g.px(63)));
        // Along a row through the newest columns: two full-scale columns of equal width with an
        // even gap, as many times as there are samples.
        for (int sample = 0; sample < 2; ++sample) {
            g.scroll();
            g.plot(48000, QStringLiteral("47"));
        }
        const int y = g.px(30) + 1;
        QString row;
        for (int x = g.px(kNewX - 4); x < g.px(kNewX + 2); ++x)
            row += at(image, x, y) == kTrace ? u'#' : u'.';
        const QString column(c.trace, u'#');
        EXPECT_TRUE(row.contains(column + QString(c.gap, u'.') + column + u'.'))
            << row.toStdString();
        EXPECT_FALSE(row.contains(column + u'#')) << row.toStdString();
        // A horizontal grid line in the newest strip is whole device rows thick.
        int gridRows = 0;
        for (int r = g.px(12) - 2; r <= g.px(12) + 3; ++r)
            gridRows += at(image, g.px(kNewX + 2), r) == kGrid;
        EXPECT_EQ(gridRows, c.grid);
    }
}

} // namespace
