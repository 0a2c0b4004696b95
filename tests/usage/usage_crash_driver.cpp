// Feeds frames to the usage logger as the capture would, one flush per batch, and reports on
// stdout what it has handed over, so that a test can kill it at any moment and check the files.
//
//   usage_crash_driver <log folder> <seed> [--start <local ISO date-time>] [--die-at <n>]
//       runs until killed; with --die-at it kills itself just before its n-th change to the
//       disk (folder made, file written, renamed or deleted, session opened, rewritten or synced)
//   usage_crash_driver <log folder> --finish [--start <local ISO date-time>]
//       starts (recovering), then shuts down
//
// Reports, one line each: "start T" (the days' total the logger holds after start-up),
// "pending T" (the total once the batch about to be logged is in) and "flushed T" (that batch
// is handed over and flushed). T sums the days from 30 December 2026 to 1 January 2027; the
// fake clock moves 20 ms per frame, so a run that starts shortly before midnight crosses it.

#include "platform/fakes/FakeClock.h"
#include "support/CrashDriver.h"
#include "usage/clsUsageLogger.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

const QDate kFirstDay(2026, 12, 30);
const QDate kLastDay(2027, 1, 1);

void report(const char* what, double total) {
    reportLine(QByteArray(what) + ' ' + QByteArray::number(total, 'f', 0));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const QString startText = driverOption(argc, argv, "--start");
    const QDateTime start = startText.isEmpty() ? QDateTime(QDate(2026, 12, 8), QTime(12, 0))
                                                : QDateTime::fromString(startText, Qt::ISODate);
    if (!start.isValid())
        return 2;
    Fuse fuse(driverOption(argc, argv, "--die-at").toLong());
    FusedFileSystem fs(fuse);
    FakeClock clock(start);
    clsUsageLogger logger(fs, clock, QString::fromLocal8Bit(argv[1]));
    double total = 0;
    if (startText.isEmpty()) {
        total = logger.getDailyUsage(start.date()).dataTotalUsage;
    } else {
        for (QDate d = kFirstDay; d <= kLastDay; d = d.addDays(1))
            total += logger.getDailyUsage(d).dataTotalUsage;
    }
    report("start", total);
    if (QByteArray(argv[2]) == "--finish") {
        logger.release();
        return 0;
    }
    std::mt19937 rng(unsigned(std::strtoul(argv[2], nullptr, 10)));
    std::vector<clsUsageRec> frames(100);
    for (unsigned batch = 1;; ++batch) {
        double batchBytes = 0;
        for (clsUsageRec& frame : frames) {
            frame = clsUsageRec();
            const double bytes = 60 + double(rng() % 1441); // at most 1500
            switch (rng() % 3) {
            case 0:
                frame.dataReceived = bytes;
                break;
            case 1:
                frame.dataSent = bytes;
                break;
            default:
                frame.dataPassthru = bytes;
                break;
            }
            frame.dataTotalUsage = bytes;
            batchBytes += bytes;
        }
        report("pending", total + batchBytes);
        for (clsUsageRec& frame : frames) {
            clock.advance(20);
            frame.usageDate = clock.today();
            logger.logUsage(frame);
        }
        logger.flush();
        total += batchBytes;
        report("flushed", total);
        if (batch % 2 == 0)
            logger.getMonthlyUsage(clock.today().month(), clock.today().year()); // a commit
    }
}
