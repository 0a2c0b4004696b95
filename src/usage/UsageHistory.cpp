#include "usage/UsageHistory.h"

#include "platform/FileSystem.h"
#include "usage/UsageLineFormat.h"
#include "usage/clsUsageLogger.h"

#include <QMap>
#include <QSet>

#include <cmath>

namespace {
void add(UsageHistory::Day& day, const clsUsageRec& r) {
    const auto sum = [](double a, double b) {
        const double s = a + b;
        return std::isfinite(s) ? s : UsageLineFormat::kLargestAmount;
    };
    day.sent = sum(day.sent, r.dataSent);
    day.received = sum(day.received, r.dataReceived);
    day.passby = sum(day.passby, r.dataPassthru);
    day.total = sum(day.total, r.dataTotalUsage);
}
} // namespace

UsageHistory UsageHistory::read(const FileSystem& fs, const QString& folder, int onlyYear) {
    UsageHistory history;
    history.folderFound = fs.folderExists(folder);
    if (!history.folderFound)
        return history;
    const QString ready = QString::fromLatin1(clsUsageLogger::kReadyFileSuffix);
    QMap<QDate, Day> days;
    QSet<int> years;
    QSet<int> yearsFromReady;
    QSet<int> coverageYears;
    for (const QString& name : fs.listFolder(folder)) {
        if (name.endsWith(QStringLiteral(".coverage")) &&
            clsUsageLogger::isYearFileName(name.chopped(9) + QStringLiteral(".log")))
            coverageYears.insert(name.chopped(9).toInt());
        const bool isReady = name.endsWith(ready);
        const QString yearName = isReady ? name.chopped(ready.size()) : name;
        if (clsUsageLogger::isYearFileName(yearName))
            years.insert(yearName.chopped(4).toInt());
        if (isReady && clsUsageLogger::isYearFileName(yearName))
            yearsFromReady.insert(yearName.chopped(4).toInt());
    }
    const auto wanted = [onlyYear](int year) { return onlyYear <= 0 || year == onlyYear; };
    for (const int year : years) {
        if (!wanted(year))
            continue;
        const QString yearFile =
            folder + QLatin1Char('/') + QString::number(year) + QStringLiteral(".log");
        const QString path = yearsFromReady.contains(year) ? yearFile + ready : yearFile;
        for (const QByteArray& line : fs.readLines(path)) {
            if (UsageLineFormat::isBlank(line))
                continue;
            clsUsageRec r;
            if (!UsageLineFormat::parseLine(line, r) || r.usageDate.year() != year) {
                ++history.unreadableLines;
                continue;
            }
            Day& day = days[r.usageDate];
            day.date = r.usageDate;
            add(day, r);
        }
    }
    // The running day: only its first record line counts, as at the program's start.
    for (const QByteArray& line :
         fs.readLines(folder + QLatin1Char('/') + QLatin1String(clsUsageLogger::kSessionName))) {
        if (UsageLineFormat::isBlank(line))
            continue;
        clsUsageRec r;
        if (!UsageLineFormat::parseLine(line, r))
            ++history.unreadableLines;
        else if (!yearsFromReady.contains(r.usageDate.year()) && wanted(r.usageDate.year())) {
            Day& day = days[r.usageDate];
            day.date = r.usageDate;
            add(day, r);
        }
        break;
    }
    // Days the coverage files know of without traffic counted (monitored while nothing passed,
    // or carried only while not watched) are days of the history too.
    for (auto it = days.cbegin(); it != days.cend(); ++it)
        coverageYears.insert(it.key().year());
    for (const int year : coverageYears) {
        if (!wanted(year))
            continue;
        const QMap<QDate, CoverageLog::Day> coverage =
            CoverageLog::readWithSession(fs, folder, year);
        for (auto it = coverage.cbegin(); it != coverage.cend(); ++it) {
            Day& day = days[it.key()];
            day.date = it.key();
            day.coverage = it.value();
        }
    }
    history.days = days.values();
    return history;
}
