// Feeds the coverage file as the program does: at start the traffic not watched since the last
// run (by an adapter's counters that the test sets), then a housekeeping tick every 500 ms of a
// fake clock with frames lost now and then. Reports on stdout what it has handed over, so that
// a test can kill it at any moment and check the files.
//
//   coverage_crash_driver <log folder> <seed> --start <local ISO date-time> --counters <n>
//                         [--die-at <n>]
//       the adapter's counter starts at n and grows by 500 bytes (1 frame) a tick; runs until
//       killed; with --die-at it kills itself just before its n-th change to the disk
//
// Reports, one line each (figures summed over 30 December 2026 to 1 January 2027):
//   "start L U S"    frames lost, bytes not watched and seconds monitored the files hold
//   "gap G"          bytes not watched since the last run, as this start tells them
//   "pending L U"    the figures once the report about to be handed over is in
//   "done L U"       that report is handed over
//   "span MS"        milliseconds monitored by this run so far (ticks one after the other)
//   "watched C"      the adapter's counter at the tick just handed over

#include "platform/fakes/FakeInterfaceCounters.h"
#include "support/CrashDriver.h"
#include "usage/CoverageLog.h"
#include "usage/UnwatchedTraffic.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdlib>
#include <random>

namespace {
const QDate kFirstDay(2026, 12, 30);
const QDate kLastDay(2027, 1, 1);
const QString kAdapter = QStringLiteral("eth0");
} // namespace

int main(int argc, char** argv) {
    if (argc < 7)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDateTime now = QDateTime::fromString(driverOption(argc, argv, "--start"), Qt::ISODate);
    bool ok = false;
    quint64 counter = driverOption(argc, argv, "--counters").toULongLong(&ok);
    if (!now.isValid() || !ok)
        return 2;
    Fuse fuse(driverOption(argc, argv, "--die-at").toLong());
    FusedFileSystem fs(fuse);
    FakeInterfaceCounters counters;
    auto setCounter = [&] {
        counters.adapters[kAdapter] = InterfaceCounts{3, counter, 0, counter / 500, 0};
    };
    setCounter();

    // Start-up takes over what a killed run left; then the files tell what is stored.
    CoverageLog coverage(fs, folder);
    UnwatchedTraffic unwatched(fs, counters, folder);
    unwatched.finishBooking(coverage);
    quint64 lost = 0, notWatched = 0;
    qint64 seconds = 0;
    for (int year : {2026, 2027})
        for (auto [date, day] :
             CoverageLog::read(fs, CoverageLog::file(folder, year)).asKeyValueRange())
            if (date >= kFirstDay && date <= kLastDay) {
                lost += day.framesLost;
                notWatched += day.unwatchedBytes;
                seconds += day.monitoredMs / 1000;
            }
    auto figures = [&](quint64 l, quint64 u) {
        return QByteArray::number(l) + ' ' + QByteArray::number(u);
    };
    reportLine("start " + figures(lost, notWatched) + ' ' + QByteArray::number(seconds));

    // Monitoring starts: what went by while not watched.
    const UnwatchedTraffic::Gap gap = unwatched.monitoringStarts(kAdapter);
    reportLine("gap " + QByteArray::number(gap.bytes));
    reportLine("pending " + figures(lost, notWatched + gap.bytes));
    unwatched.bookInto(coverage, now.date(), gap);
    notWatched += gap.bytes;
    reportLine("done " + figures(lost, notWatched));

    std::mt19937 rng(unsigned(std::strtoul(argv[2], nullptr, 10)));
    const QDateTime first = now;
    for (;;) {
        const quint64 dropped = rng() % 4 == 0 ? 1 + rng() % 5000 : 0;
        counter += 500;
        setCounter();
        reportLine("pending " + figures(lost + dropped, notWatched));
        coverage.tick(now, now.date(), true, dropped);
        unwatched.watched(kAdapter);
        lost += dropped;
        reportLine("done " + figures(lost, notWatched));
        reportLine("span " + QByteArray::number(first.msecsTo(now)));
        reportLine("watched " + QByteArray::number(counter));
        now = now.addMSecs(500);
        ::usleep(200);
    }
}
