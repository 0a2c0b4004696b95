// The data plan: its periods, what counts, its text, and warnings that a restart does not repeat.
#include "platform/fakes/FakeFileSystem.h"
#include "usage/DataPlan.h"

#include <gtest/gtest.h>

namespace {

TEST(DataPlan, PeriodsBeginOnTheStartDayAcrossMonthsAndYears) {
    struct Case {
        QDate today;
        int startDay;
        QDate first, last;
        int daysLeft;
    };
    const Case cases[] = {
        {{2026, 12, 9}, 1, {2026, 12, 1}, {2026, 12, 31}, 23},
        {{2026, 12, 31}, 1, {2026, 12, 1}, {2026, 12, 31}, 1},
        {{2026, 12, 9}, 9, {2026, 12, 9}, {2027, 1, 8}, 31},  // the start day itself
        {{2026, 12, 8}, 9, {2026, 11, 9}, {2026, 12, 8}, 1},  // the day before it
        {{2027, 1, 3}, 15, {2026, 12, 15}, {2027, 1, 14}, 12}, // across New Year
        {{2026, 12, 20}, 15, {2026, 12, 15}, {2027, 1, 14}, 26},
        {{2027, 2, 27}, 28, {2027, 1, 28}, {2027, 2, 27}, 1},  // February
        {{2028, 2, 29}, 28, {2028, 2, 28}, {2028, 3, 27}, 28}, // leap year
        {{2026, 3, 1}, 31, {2026, 2, 28}, {2026, 3, 27}, 27},  // beyond 28: day 28
        {{2026, 3, 1}, 0, {2026, 3, 1}, {2026, 3, 31}, 31},    // below 1: day 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.today.toString(Qt::ISODate).toStdString() + " start " +
                     std::to_string(c.startDay));
        const DataPlan::Period p = DataPlan::periodOf(c.today, c.startDay);
        EXPECT_EQ(p.first, c.first);
        EXPECT_EQ(p.last, c.last);
        EXPECT_EQ(DataPlan::daysLeft(c.today, c.startDay), c.daysLeft);
    }
}

TEST(DataPlan, ReceivedAndSentOfThePeriodsDaysCountAndTheTextSaysHowMuch) {
    auto day = [](QDate d, double sent, double received, double passby) {
        UsageHistory::Day u;
        u.date = d;
        u.sent = sent;
        u.received = received;
        u.passby = passby;
        u.total = sent + received + passby;
        return u;
    };
    const QList<UsageHistory::Day> days = {day({2026, 11, 30}, 5e9, 5e9, 0),
                                           day({2026, 12, 1}, 1e9, 2e9, 7e9),
                                           day({2026, 12, 9}, 3e8, 4e8, 0)};
    const DataPlan::Period december = DataPlan::periodOf({2026, 12, 9}, 1);
    EXPECT_EQ(DataPlan::used(days, december), 3.7e9);
    const qint64 gib = qint64(1) << 30;
    EXPECT_EQ(DataPlan::text(44.2e9, 50 * gib, 9), "Plan: 41.2 G of 50.0 G used, 9 days left");
    EXPECT_EQ(DataPlan::text(512, 1 << 20, 1), "Plan: 512.0 B of 1.0 M used, 1 day left");
    struct Level {
        double used;
        qint64 allowance;
        DataPlan::Level level;
    };
    const Level levels[] = {{79, 100, DataPlan::Level::Below}, {80, 100, DataPlan::Level::Eighty},
                            {99.9, 100, DataPlan::Level::Eighty}, {100, 100, DataPlan::Level::Full},
                            {1e12, 100, DataPlan::Level::Full}, {1e12, 0, DataPlan::Level::Below},
                            {1e12, -5, DataPlan::Level::Below},
                            {1e18, DataPlan::kLargestAllowance + 1, DataPlan::Level::Below}};
    for (const Level& l : levels)
        EXPECT_EQ(DataPlan::level(l.used, l.allowance), l.level) << l.used << " of " << l.allowance;
}

TEST(DataPlan, EachWarningOncePerPeriodAlsoAfterARestart) {
    FakeFileSystem fs;
    using L = DataPlan::Level;
    const DataPlan::Period dec = DataPlan::periodOf({2026, 12, 9}, 1);
    const DataPlan::Period jan = DataPlan::periodOf({2027, 1, 2}, 1);
    struct Step {
        DataPlan::Period period;
        L level;
        L due;
        bool restart;
    };
    const Step steps[] = {
        {dec, L::Below, L::Below, false}, {dec, L::Eighty, L::Eighty, false},
        {dec, L::Eighty, L::Below, false}, {dec, L::Eighty, L::Below, true},
        {dec, L::Full, L::Full, false},    {dec, L::Full, L::Below, true},
        {jan, L::Full, L::Full, false}, // a new period: 100 % at once gives that one only
        {jan, L::Eighty, L::Below, false},
    };
    auto warnings = std::make_unique<PlanWarnings>(fs, QStringLiteral("/logs"));
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        if (s.restart)
            warnings = std::make_unique<PlanWarnings>(fs, QStringLiteral("/logs"));
        EXPECT_EQ(warnings->due(s.period, s.level), s.due);
    }
    EXPECT_EQ(fs.file(QStringLiteral("/logs/plan.state")), QByteArray("2027-01-01\t100\r\n"));
}

} // namespace
