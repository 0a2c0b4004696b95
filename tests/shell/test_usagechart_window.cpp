// The usage chart window opened from the "Log" tab: it follows the month listed, shows the year
// one click away, keeps its size, fits its texts (also at 1.5 times the scale), and leaves
// pictures of the month and the year, light and dark, in build/artifacts.
#include "support/CutOff.h"
#include "support/MainWindow.h"
#include "support/Pictures.h"

#include "shell/UsageChartWindow.h"
#include "shell/UsageLogView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

namespace {

/// The main window over a log folder with November and December 2026 (today the 8th).
struct Charted : MainWindow {
    Charted() {
        QByteArray year;
        for (int day = 1; day <= 8; ++day)
            year += QStringLiteral("2026-12-%1\t%2\t%3\t%4\t%5\r\n")
                        .arg(day, 2, 10, QLatin1Char('0'))
                        .arg(day * 40e6, 0, 'f', 0)
                        .arg((9 - day) * 90e6, 0, 'f', 0)
                        .arg(day % 3 == 0 ? 150e6 : 0, 0, 'f', 0)
                        .arg(day * 40e6 + (9 - day) * 90e6 + (day % 3 == 0 ? 150e6 : 0), 0, 'f', 0)
                        .toLatin1();
        year += "2026-11-20\t1000000000\t3000000000\t0\t4000000000\r\n";
        fs.createFolder(kLogFolder);
        fs.setFile(kLogFolder + QStringLiteral("/2026.log"), year);
        fs.setFile(kLogFolder + QStringLiteral("/2026.coverage"),
                   "2026-12-05\t3600\t12\t0\t0\r\n2026-12-06\t3600\t0\t5000000\t40\r\n");
        startShown();
        chooseTab(3);
    }
    UsageChartWindow* openChart() {
        find<QPushButton>(QStringLiteral("cmdChart"))->click();
        auto* chart = topLevel<UsageChartWindow>(QStringLiteral("frmUsageChart"));
        if (chart != nullptr && !QTest::qWaitForWindowExposed(chart))
            ADD_FAILURE() << "the chart window was not shown";
        return chart;
    }
};

TEST(UsageChartWindow, FollowsTheListedMonthShowsTheYearAndKeepsItsSize) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ensureApplication();
        const PaletteScope palette(dark);
        Charted m;
        UsageChartWindow* chart = m.openChart();
        ASSERT_NE(chart, nullptr);
        EXPECT_TRUE(chart->isVisible());
        EXPECT_FALSE(chart->isModal());
        auto* title = chart->findChild<QLabel*>(QStringLiteral("lblChartTitle"));
        EXPECT_EQ(title->text(), QStringLiteral("December 2026"));
        QStringList cut = cutOffTexts(*chart);
        EXPECT_TRUE(cut.isEmpty()) << cut.join('\n').toStdString();
        const QString theme = dark ? QStringLiteral("-dark") : QString();
        EXPECT_TRUE(keepPicture(*chart, QStringLiteral("usage-chart-month") + theme));

        // The year, one click away; pass-by left out.
        chart->findChild<QRadioButton*>(QStringLiteral("optYear"))->click();
        EXPECT_EQ(title->text(), QStringLiteral("2026"));
        EXPECT_TRUE(keepPicture(*chart, QStringLiteral("usage-chart-year") + theme));
        chart->findChild<QCheckBox*>(QStringLiteral("chkPassby"))->click();
        chart->findChild<QRadioButton*>(QStringLiteral("optMonth"))->click();
        EXPECT_TRUE(keepPicture(*chart, QStringLiteral("usage-chart-month-no-passby") + theme));

        // Another month listed on the "Log" tab is the chart's month too.
        auto* months = m.find<QComboBox>(QStringLiteral("Combo1"));
        months->setCurrentIndex(10);
        emit months->activated(10);
        EXPECT_EQ(title->text(), QStringLiteral("November 2026"));

        // Closed and opened again at the size it was given, which the settings keep.
        chart->resize(700, 450);
        chart->close();
        EXPECT_EQ(m.openChart(), chart);
        EXPECT_EQ(chart->size(), QSize(700, 450));
        EXPECT_EQ(m.session().settings().gChartSize, QSize(700, 450));
    }
}

} // namespace
