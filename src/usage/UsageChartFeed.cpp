#include "usage/UsageChartFeed.h"

#include "usage/DailyUsage.h"

#include <QLocale>

UsageChartFeed::~UsageChartFeed() {
    if (changed_)
        daily_.setListedHandler({});
}

void UsageChartFeed::followListings(std::function<void()> changed) {
    changed_ = std::move(changed);
    daily_.setListedHandler([this] {
        refresh();
        if (changed_)
            changed_();
    });
}

void UsageChartFeed::setView(UsageChart::View view) {
    chart_.setBars(view, chart_.bars());
    refresh();
}

void UsageChartFeed::refresh() {
    const int year = daily_.listedYear(), month = daily_.listedMonth();
    chart_.setUnits(daily_.units());
    if (year < 1 || month < 1) {
        chart_.setBars(chart_.view(), {});
        return;
    }
    const UsageHistory history = UsageHistory::read(daily_.fileSystem(), daily_.logFolder(), year);
    const QDate today = daily_.currentDay();
    chart_.setBars(chart_.view(),
                   chart_.view() == UsageChart::View::Month
                       ? UsageChart::monthBars(history, year, month, today, daily_.units())
                       : UsageChart::yearBars(history, year, today, daily_.units()));
}

QString UsageChartFeed::title() const {
    const int year = daily_.listedYear(), month = daily_.listedMonth();
    if (year < 1 || month < 1)
        return QString();
    if (chart_.view() == UsageChart::View::Year)
        return QString::number(year);
    return QLocale::system().toString(QDate(year, month, 1), QStringLiteral("MMMM yyyy"));
}
