// The usage chart window opened from the "Log" tab: it follows the month listed, shows the year
// one click away, keeps its size, fits its texts (also at 1.5 times the scale), and leaves
// pictures of the month and the year, light and dark, in build/artifacts.
#include "support/CutOff.h"
#include "support/MainWindow.h"

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

/// A desktop's dark theme: light text on dark faces.
QPalette darkPalette() {
    QPalette p(QColor(53, 53, 53), QColor(53, 53, 53));
    const QColor text(230, 230, 230);
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, text);
    p.setColor(QPalette::Base, QColor(35, 35, 35));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return p;
}

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

void keep(QWidget& window, const QString& name) {
    if (!qEnvironmentVariableIsSet("QUELMINT_BUILD_DIR"))
        return;
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR");
    const QString dir = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(dir);
    window.grab().save(dir + QStringLiteral("/usage-chart-%1%2.png")
                                 .arg(name, scale.isEmpty() || scale == QLatin1String("1")
                                                ? QString()
                                                : QStringLiteral("-x") + scale));
}

TEST(UsageChartWindow, FollowsTheListedMonthShowsTheYearAndKeepsItsSize) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ensureApplication();
        const QPalette before = QApplication::palette();
        if (dark)
            QApplication::setPalette(darkPalette());
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
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
        keep(*chart, QStringLiteral("month") + theme);

        // The year, one click away; pass-by left out.
        chart->findChild<QRadioButton*>(QStringLiteral("optYear"))->click();
        EXPECT_EQ(title->text(), QStringLiteral("2026"));
        keep(*chart, QStringLiteral("year") + theme);
        chart->findChild<QCheckBox*>(QStringLiteral("chkPassby"))->click();
        chart->findChild<QRadioButton*>(QStringLiteral("optMonth"))->click();
        keep(*chart, QStringLiteral("month-no-passby") + theme);

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
