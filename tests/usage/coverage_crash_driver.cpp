// Feeds the coverage file as the program's housekeeping tick does, and reports on stdout what
// it has handed over, so that a test can kill it at any moment and check the file.
//
//   coverage_crash_driver <log folder> <seed> --start <local ISO date-time> [--die-at <n>]
//       starts with traffic not watched, then ticks every 500 ms of a fake clock until killed;
//       with --die-at it kills itself just before its n-th change to the disk
//
// Reports, one line each (figures summed over 30 December 2026 to 1 January 2027):
//   "start L U S"    frames lost, bytes not watched and seconds monitored the file holds
//   "pending L U"    the figures once the report about to be handed over is in
//   "done L U"       that report is handed over
//   "span MS"        milliseconds monitored by this run so far (ticks one after the other)

#include "CrashDriver.h"
#include "usage/CoverageLog.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {
const QDate kFirstDay(2026, 12, 30);
const QDate kLastDay(2027, 1, 1);
} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDateTime now = QDateTime::fromString(driverOption(argc, argv, "--start"), Qt::ISODate);
    if (!now.isValid())
        return 2;
    Fuse fuse(driverOption(argc, argv, "--die-at").toLong());
    FusedFileSystem fs(fuse);

    // Start-up takes over what a killed run left; then the files tell what is stored.
    CoverageLog coverage(fs, folder);
    quint64 lost = 0, unwatched = 0;
    qint64 seconds = 0;
    for (int year : {2026, 2027})
        for (auto [date, day] : CoverageLog::read(fs, CoverageLog::file(folder, year)).asKeyValueRange())
            if (date >= kFirstDay && date <= kLastDay) {
                lost += day.framesLost;
                unwatched += day.unwatchedBytes;
                seconds += day.monitoredMs / 1000;
            }
    reportLine("start " + QByteArray::number(lost) + ' ' + QByteArray::number(unwatched) + ' ' +
           QByteArray::number(seconds));

    std::mt19937 rng(unsigned(std::strtoul(argv[2], nullptr, 10)));
    // Monitoring starts: what went by while not watched.
    const quint64 gap = 1 + rng() % 1000000;
    reportLine("pending " + QByteArray::number(lost) + ' ' + QByteArray::number(unwatched + gap));
    coverage.addUnwatched(now.date(), gap, 1 + gap / 1000);
    unwatched += gap;
    reportLine("done " + QByteArray::number(lost) + ' ' + QByteArray::number(unwatched));

    const QDateTime first = now;
    for (;;) {
        const quint64 dropped = rng() % 4 == 0 ? 1 + rng() % 5000 : 0;
        reportLine("pending " + QByteArray::number(lost + dropped) + ' ' +
               QByteArray::number(unwatched));
        coverage.tick(now, now.date(), true, dropped);
        lost += dropped;
        reportLine("done " + QByteArray::number(lost) + ' ' + QByteArray::number(unwatched));
        reportLine("span " + QByteArray::number(first.msecsTo(now)));
        now = now.addMSecs(500);
        ::usleep(200);
    }
}
