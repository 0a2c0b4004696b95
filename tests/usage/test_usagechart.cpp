// The usage chart drawn into an image: bar heights, colours, pass-by, today and the marks, read
// back from the pixels; its axis steps; the bars made of the stored history.
#include "support/TestApp.h"
#include "usage/UsageChart.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

const QSize kSize(620, 300);

QPalette lightPalette() {
    QPalette p;
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return p;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Base, QColor(35, 35, 35));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return p;
}

/// Rows of a colour in a bar's middle column, counted upwards from the plot's bottom row.
int rowsOf(const QImage& image, const UsageChart::Layout& l, int bar, const QColor& colour) {
    const int x = l.barRect(bar).center().x();
    int rows = 0;
    for (int y = l.plot.top(); y <= l.plot.bottom(); ++y)
        rows += image.pixelColor(x, y) == colour ? 1 : 0;
    return rows;
}

/// December 2026 with today the 8th: bar i is day i + 1.
UsageHistory seededMonth() {
    UsageHistory h;
    const struct {
        int day;
        double received, sent, passby;
        quint64 framesLost;
    } days[] = {{1, 400e6, 100e6, 0, 0},
                {2, 800e6, 0, 0, 0},
                {3, 200e6, 200e6, 300e6, 0},
                {5, 0, 50e6, 0, 12},
                {8, 100e6, 100e6, 100e6, 0}};
    for (const auto& d : days) {
        UsageHistory::Day day;
        day.date = QDate(2026, 12, d.day);
        day.received = d.received;
        day.sent = d.sent;
        day.passby = d.passby;
        day.total = d.received + d.sent + d.passby;
        if (d.framesLost > 0) {
            CoverageLog::Day c;
            c.framesLost = d.framesLost;
            day.coverage = c;
        }
        h.days.append(day);
    }
    return h;
}

TEST(UsageChart, BarsAreProportionalInTheirColoursWithPassbyTodayAndMarks) {
    ensureApp<QGuiApplication>();
    const QFont font(QStringLiteral("DejaVu Sans"), 9);
    const DisplayUnits units;
    for (const bool dark : {false, true}) {
        for (const bool passby : {true, false}) {
            SCOPED_TRACE(std::string(dark ? "dark" : "light") + (passby ? " with" : " without"));
            const QPalette palette = dark ? darkPalette() : lightPalette();
            UsageChart chart;
            chart.setUnits(units);
            chart.setShowPassby(passby);
            chart.setBars(UsageChart::View::Month,
                          UsageChart::monthBars(seededMonth(), 2026, 12, {2026, 12, 8}, units));
            ASSERT_EQ(chart.bars().size(), 31);
            const QImage image = chart.render(kSize, 1, palette, font);
            const UsageChart::Layout l = chart.layout(kSize, font);
            // The tallest bar (day 2, or day 3 with its pass-by) reaches the axis's top or
            // near it; every segment is its share of the plot's height, to a pixel.
            const double top = passby ? 700e6 : 800e6;
            EXPECT_GE(top, l.axisTop * 0.5);
            EXPECT_LE(top, l.axisTop);
            const double perPixel = l.axisTop / l.plot.height();
            const struct {
                int bar;
                double received, sent;
            } bars[] = {{0, 400e6, 100e6}, {1, 800e6, 0}, {2, 200e6, 200e6}, {4, 0, 50e6}};
            for (const auto& b : bars) {
                EXPECT_NEAR(rowsOf(image, l, b.bar, UsageChart::kReceived), b.received / perPixel,
                            1.0)
                    << "bar " << b.bar;
                EXPECT_NEAR(rowsOf(image, l, b.bar, UsageChart::kSent), b.sent / perPixel, 1.0)
                    << "bar " << b.bar;
            }
            // An empty day has no bar.
            EXPECT_EQ(rowsOf(image, l, 3, UsageChart::kReceived), 0);
            EXPECT_EQ(rowsOf(image, l, 3, UsageChart::kSent), 0);
            // Pass-by: the outline's top edge above day 3's sent part, or nothing there.
            const QRect c = l.barRect(2);
            const int passTop = l.plot.bottom() + 1 - l.heightOf(700e6);
            const QColor background = palette.color(QPalette::Base);
            EXPECT_EQ(image.pixelColor(c.center().x(), passTop) != background, passby);
            EXPECT_EQ(image.pixelColor(c.center().x(), passTop + 3), background);
            // Today's band lies behind the 8th's bar, not behind the 7th's.
            const int bandX = l.plot.left() + int(7 * l.slot) + 1;
            EXPECT_NE(image.pixelColor(bandX, l.plot.top() + 2), background);
            EXPECT_EQ(image.pixelColor(l.plot.left() + int(6 * l.slot) + 1, l.plot.top() + 2),
                      background);
            // The 5th (frames lost) has its mark above the plot, the 4th none.
            EXPECT_EQ(image.pixelColor(l.barRect(4).center().x(), l.plot.top() - 3),
                      UsageChart::kMark);
            EXPECT_EQ(image.pixelColor(l.barRect(3).center().x(), l.plot.top() - 3), background);
            // The bars' tooltips give the exact figures and the marks.
            EXPECT_TRUE(chart.tooltip(1).contains(QStringLiteral("(800")));
            EXPECT_TRUE(chart.tooltip(4).contains(QStringLiteral("lost")));
            EXPECT_EQ(chart.barAt(l.barRect(4).center(), kSize, font), 4);
            EXPECT_EQ(chart.barAt(QPoint(0, 0), kSize, font), -1);
        }
    }
}

TEST(UsageChart, YearBarsSumTheMonthsAndTheAxisStepsAreRound) {
    const DisplayUnits units;
    UsageHistory h = seededMonth();
    UsageHistory::Day june;
    june.date = QDate(2026, 6, 30);
    june.received = 5;
    june.total = 5;
    h.days.prepend(june);
    const QList<UsageChart::Bar> year = UsageChart::yearBars(h, 2026, {2026, 12, 8}, units);
    ASSERT_EQ(year.size(), 12);
    EXPECT_EQ(year[11].received, 1500e6);
    EXPECT_EQ(year[11].passby, 400e6);
    EXPECT_TRUE(year[11].today);
    EXPECT_TRUE(year[11].marks.startsWith(QStringLiteral("05 Dec: ")));
    EXPECT_EQ(year[5].received, 5);
    EXPECT_EQ(year[0].total, 0);

    constexpr double K = 1024, M = K * K, G = M * K;
    const std::pair<double, double> steps[] = {
        {0, 1},      {3, 1},           {9, 2},         {700, 200},       {1000, 200},
        {1500, 512}, {800e6, 200 * M}, {5 * G, 1 * G}, {40 * G, 10 * G}, {3000 * G, 1000 * G}};
    for (const auto& [largest, step] : steps)
        EXPECT_EQ(UsageChart::niceStep(largest), step) << largest;
}

} // namespace
