// Any content as a year file and a session file: the usage store must read, commit and read
// back without crashing, and a commit must not change the figures of a day it did not touch.
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeFileSystem.h"
#include "usage/clsUsageLogger.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
const QString kFolder = QStringLiteral("/logs");
const QDate kToday(2026, 12, 8);

/// Every day's total of 2026 as the store reads it.
QList<double> totals(clsUsageLogger& logger) {
    QList<double> out;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1))
        out.append(d == kToday ? 0 : logger.getDailyUsage(d).dataTotalUsage);
    return out;
}

/// Equal but for the rounding to the 15 significant digits amounts are written with.
bool same(const QList<double>& a, const QList<double>& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) <= 1e-14 * std::fabs(a[i])))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A 0 byte, if any, splits the input into the year file and the session file.
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\0');
    FakeFileSystem fs;
    fs.createFolder(kFolder);
    fs.setFile(kFolder + QStringLiteral("/2026.log"), cut < 0 ? input : input.left(cut));
    if (cut >= 0)
        fs.setFile(kFolder + QStringLiteral("/_session.log"), input.mid(cut + 1));
    FakeClock clock(QDateTime(kToday, QTime(9, 0)));

    QList<double> before;
    double today = 0;
    {
        clsUsageLogger logger(fs, clock, kFolder);
        before = totals(logger);
        today = logger.getDailyUsage(kToday).dataReceived + 60;
        clsUsageRec r;
        r.usageDate = kToday;
        r.dataReceived = r.dataTotalUsage = 60;
        logger.logUsage(r);
        logger.flush();
        for (int month = 1; month <= 12; ++month)
            logger.getMonthlyUsage(month, 2026);
    }
    clsUsageLogger again(fs, clock, kFolder);
    if (!same(before, totals(again)))
        std::abort(); // a commit changed another day's figures
    if (!same({today}, {again.getDailyUsage(kToday).dataReceived}))
        std::abort(); // today's frames were lost or counted twice
    return 0;
}
