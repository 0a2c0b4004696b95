// Feeds frames to the usage logger as the capture would, one flush per batch, and reports
// every stored day total on stdout so that a test can kill it at any moment and check the files.
//
//   usage_crash_driver <log folder> <seed>          runs until killed
//   usage_crash_driver <log folder> --finish        starts (recovering), then shuts down

#include "platform/RealFileSystem.h"
#include "platform/fakes/FakeClock.h"
#include "usage/clsUsageLogger.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {

const QDate kDay(2026, 12, 8);

void report(const char* what, double total) {
    // One write per line: a line on the pipe is whole or absent.
    const QByteArray line = QByteArray(what) + ' ' + QByteArray::number(total, 'f', 0) + '\n';
    ssize_t ignored = ::write(1, line.constData(), size_t(line.size()));
    (void)ignored;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    RealFileSystem fs;
    FakeClock clock(QDateTime(kDay, QTime(12, 0)));
    clsUsageLogger logger(fs, clock, QString::fromLocal8Bit(argv[1]));
    report("start", logger.getDailyUsage(kDay).dataTotalUsage);
    if (QByteArray(argv[2]) == "--finish") {
        logger.release();
        return 0;
    }
    std::mt19937 rng(unsigned(std::strtoul(argv[2], nullptr, 10)));
    for (unsigned batch = 1;; ++batch) {
        for (int i = 0; i < 100; ++i) {
            clsUsageRec frame;
            frame.usageDate = kDay;
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
            logger.logUsage(frame);
        }
        logger.flush();
        report("flushed", logger.getDailyUsage(kDay).dataTotalUsage);
        if (batch % 3 == 0)
            logger.getMonthlyUsage(12, 2026); // the log view lists the current month: a commit
    }
}
