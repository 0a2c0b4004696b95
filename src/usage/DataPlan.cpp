#include "usage/DataPlan.h"

#include "platform/FileSystem.h"
#include "speed/Format.h"

DataPlan::Period DataPlan::periodOf(const QDate& today, int startDay) {
    const int day = qBound(1, startDay, kLatestStartDay);
    QDate first(today.year(), today.month(), day);
    if (today.day() < day)
        first = first.addMonths(-1);
    return {first, first.addMonths(1).addDays(-1)};
}

int DataPlan::daysLeft(const QDate& today, int startDay) {
    return int(today.daysTo(periodOf(today, startDay).last)) + 1;
}

double DataPlan::used(const QList<UsageHistory::Day>& days, const Period& period) {
    double sum = 0;
    for (const UsageHistory::Day& d : days)
        if (d.date >= period.first && d.date <= period.last)
            sum += d.received + d.sent;
    return sum;
}

DataPlan::Level DataPlan::level(double used, qint64 allowance) {
    if (!validAllowance(allowance))
        return Level::Below;
    if (used >= double(allowance))
        return Level::Full;
    return used >= double(allowance) * 0.8 ? Level::Eighty : Level::Below;
}

QString DataPlan::amount(double bytes) {
    static const char* const kUnits[] = {" B", " K", " M", " G"};
    int unit = 0;
    while (unit < 3 && bytes >= 1024) {
        bytes /= 1024;
        ++unit;
    }
    return fixed(bytes, 1) + QLatin1String(kUnits[unit]);
}

QString DataPlan::text(double used, qint64 allowance, int daysLeft) {
    return QStringLiteral("Plan: %1 of %2 used, %3 %4 left")
        .arg(amount(used), amount(double(allowance)))
        .arg(daysLeft)
        .arg(daysLeft == 1 ? QStringLiteral("day") : QStringLiteral("days"));
}

PlanWarnings::PlanWarnings(FileSystem& fs, const QString& folder)
    : fs_(fs), path_(folder + QStringLiteral("/plan.state")) {}

DataPlan::Level PlanWarnings::due(const DataPlan::Period& period, DataPlan::Level level) {
    if (level == DataPlan::Level::Below)
        return level;
    // One line: the period's first day and the highest warning given in it (80 or 100).
    const QList<QByteArray> lines = fs_.readLines(path_);
    int given = 0;
    if (!lines.isEmpty()) {
        const QList<QByteArray> f = lines.first().trimmed().split('\t');
        if (f.size() == 2 && QDate::fromString(QString::fromLatin1(f[0]), Qt::ISODate) == period.first)
            given = f[1].toInt();
    }
    const int now = level == DataPlan::Level::Full ? 100 : 80;
    if (given >= now)
        return DataPlan::Level::Below;
    fs_.writeFileAtomic(path_, period.first.toString(Qt::ISODate).toLatin1() + '\t' +
                                   QByteArray::number(now) + "\r\n");
    return level;
}
