// The coverage file and the adapter counters remembered while watching, written by a real
// process on a real folder, killed with SIGKILL at random moments and at each change to the
// disk, across midnight and New Year: a restart finds every figure handed over, nothing counted
// twice, seconds monitored up to the last tick, and traffic not watched told from the last
// counters remembered.
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

/// What the runs of the driver have reported so far, and the check of each new start.
struct Ledger {
    qint64 lostDone = 0, lostPending = 0;           ///< frames lost: handed over, perhaps written
    qint64 unwatchedDone = 0, unwatchedPending = 0; ///< bytes not watched, likewise
    qint64 seconds = 0;                             ///< seconds monitored the last start found
    qint64 spanMs = -1;      ///< the last run's monitored span as reported (-1: none)
    qint64 watchedHigh = 0;  ///< the highest adapter counter a run may have reached
    qint64 startCounter = 0; ///< the counter the run under check started with
    qint64 remembered = 0;   ///< the counter the state file held before the run (0: none)

    /// Checks a run's report against the runs before it. False when the run reported nothing.
    bool take(const QByteArray& output, const std::string& run) {
        bool started = false;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() < 2)
                continue;
            if (f[0] == "start" && f.size() == 4) {
                started = true;
                const qint64 lost = f[1].toLongLong(), unwatched = f[2].toLongLong(),
                             seconds = f[3].toLongLong();
                EXPECT_GE(lost, lostDone) << run << ": frames lost were lost";
                EXPECT_LE(lost, lostPending) << run << ": frames lost counted twice";
                EXPECT_GE(unwatched, unwatchedDone) << run << ": traffic not watched was lost";
                EXPECT_LE(unwatched, unwatchedPending) << run << ": not watched counted twice";
                if (spanMs >= 0) {
                    // The killed run may have written one tick more than it reported, or lost
                    // its last one; whole seconds are kept per day (two days at most).
                    EXPECT_LE(seconds, this->seconds + (spanMs + 500) / 1000)
                        << run << ": seconds counted twice";
                    EXPECT_GE(seconds, this->seconds + (spanMs - 500) / 1000 - 2)
                        << run << ": more than a tick of seconds lost";
                } else {
                    EXPECT_GE(seconds, this->seconds) << run << ": seconds lost";
                }
                lostDone = lostPending = lost;
                unwatchedDone = unwatchedPending = unwatched;
                this->seconds = seconds;
                spanMs = -1;
            } else if ((f[0] == "pending" || f[0] == "done") && f.size() == 3) {
                lostPending = f[1].toLongLong();
                unwatchedPending = f[2].toLongLong();
                if (f[0] == "done") {
                    lostDone = lostPending;
                    unwatchedDone = unwatchedPending;
                }
            } else if (f[0] == "span") {
                spanMs = f[1].toLongLong();
            } else if (f[0] == "gap") {
                EXPECT_EQ(f[1].toLongLong(), startCounter - remembered)
                    << run << ": not watched since the counter last remembered";
                watchedHigh = startCounter + 500;
            } else if (f[0] == "watched") {
                watchedHigh = f[1].toLongLong() + 500;
            }
        }
        if (started && spanMs < 0)
            spanMs = 0; // started, killed before its first tick
        return started;
    }
};

/// What the files on the disk say of traffic not watched: the adapter counter the state file
/// remembers (0: none), and the bytes not watched the coverage files hold, each day raised to
/// what the session file and an unfinished booking in the state file give it.
struct OnDisk {
    qint64 remembered = 0;
    qint64 notWatched = 0;
};

OnDisk onDisk(const QString& folder) {
    OnDisk disk;
    QMap<QByteArray, qint64> days;
    auto raise = [&](const QByteArray& date, qint64 bytes) {
        days[date] = qMax(days.value(date), bytes);
    };
    for (const char* name : {"/2026.coverage", "/2027.coverage", "/coverage.session"})
        for (const QByteArray& line : readFile(folder + QLatin1String(name)).split('\n')) {
            const QList<QByteArray> f = line.trimmed().split('\t');
            if (f.size() >= 5)
                raise(f[0], f[3].toLongLong());
        }
    for (const QByteArray& line : readFile(folder + QStringLiteral("/watched.state")).split('\n')) {
        const QList<QByteArray> f = line.trimmed().split('\t');
        if (f.size() == 7 && f[1] == "eth0")
            disk.remembered = f[3].toLongLong();
        else if (f.size() == 4 && f[0] == "booking")
            raise(f[1], f[2].toLongLong());
    }
    for (qint64 bytes : days)
        disk.notWatched += bytes;
    return disk;
}

/// Runs the driver until it kills itself, or kills it (SIGKILL) after killAfterUs.
QByteArray runDriver(QStringList arguments, int killAfterUs, Ledger& ledger, std::mt19937& rng) {
    // Between runs the adapter carries up to 100,000 bytes nobody watches.
    ledger.startCounter = ledger.watchedHigh + qint64(rng() % 100001);
    arguments << QStringLiteral("--counters") << QString::number(ledger.startCounter);
    ledger.remembered = onDisk(arguments[0]).remembered;
    QProcess driver;
    driver.start(QStringLiteral(COVERAGE_CRASH_DRIVER), arguments);
    EXPECT_TRUE(driver.waitForStarted(5000));
    if (killAfterUs < 100000)
        QThread::usleep(ulong(killAfterUs));
    else
        driver.waitForFinished(killAfterUs / 1000); // it may end itself before
    if (driver.state() != QProcess::NotRunning) {
        driver.kill();
        EXPECT_TRUE(driver.waitForFinished(30000));
    }
    return driver.readAllStandardOutput();
}

/// Every line of the year's coverage file reads as a day of that year.
void expectWholeLines(const QString& file, int year) {
    const QByteArray content = readFile(file);
    ASSERT_TRUE(content.isEmpty() || content.endsWith("\r\n")) << file.toStdString();
    for (const QByteArray& line : content.trimmed().split('\n')) {
        const QList<QByteArray> f = line.trimmed().split('\t');
        EXPECT_EQ(f.size(), 5) << line.toStdString();
        EXPECT_TRUE(f[0].startsWith(QByteArray::number(year) + '-')) << line.toStdString();
    }
}

} // namespace

TEST(CoverageCrash, KilledAtRandomMomentsAndAtEachWriteAcrossMidnightAndNewYear) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/Usage Logs");
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const QDateTime midnight(QDate(2026, 12, 30), QTime(23, 59, 50));
    const QDateTime newYear(QDate(2026, 12, 31), QTime(23, 59, 50));

    Ledger ledger;
    int runs = 0, reported = 0;
    qint64 watched = 0; // what the runs watched, as far as the state file has moved on
    auto take = [&](const QByteArray& out, const std::string& what) {
        ++runs;
        if (ledger.take(out, what))
            ++reported;
        // Every byte the adapter carried is either watched or booked as not watched, once:
        // a start moves the remembered counter and the bookings by the same gap, a tick moves
        // only the counter.
        const OnDisk disk = onDisk(folder);
        if (disk.remembered >= ledger.startCounter)
            watched += disk.remembered - ledger.startCounter;
        EXPECT_EQ(disk.notWatched + watched, disk.remembered)
            << what << ": traffic not watched "
            << (disk.notWatched + watched < disk.remembered ? "lost" : "counted twice");
    };
    // Kills at random moments; runs start a few seconds apart around both day changes.
    for (int i = 0; i < 40; ++i) {
        const QDateTime start = (i % 2 ? newYear : midnight).addSecs(i / 2);
        take(runDriver({folder, QString::number(rng() % 100000), QStringLiteral("--start"),
                        start.toString(Qt::ISODate)},
                       int(rng() % 300000), ledger, rng),
             "random kill " + std::to_string(i));
        if (::testing::Test::HasFailure())
            return;
    }
    // Kills just before each of the first changes to the disk of a run.
    for (int step = 1; step <= 40; ++step) {
        const QDateTime start = (step % 2 ? newYear : midnight).addSecs(step % 12);
        take(runDriver({folder, QString::number(step), QStringLiteral("--start"),
                        start.toString(Qt::ISODate), QStringLiteral("--die-at"),
                        QString::number(step)},
                       2000000, ledger, rng),
             "kill at step " + std::to_string(step));
        if (::testing::Test::HasFailure())
            return;
    }
    // A last start reads the file and checks it once more.
    take(runDriver({folder, QStringLiteral("1"), QStringLiteral("--start"),
                    QDateTime(QDate(2027, 1, 1), QTime(0, 5)).toString(Qt::ISODate),
                    QStringLiteral("--die-at"), QStringLiteral("1")},
                   30000000, ledger, rng),
         "last start");
    EXPECT_GE(reported, runs / 2);
    EXPECT_GT(ledger.lostDone, 0);
    EXPECT_GT(ledger.unwatchedDone, 0);
    expectWholeLines(folder + QStringLiteral("/2026.coverage"), 2026);
    expectWholeLines(folder + QStringLiteral("/2027.coverage"), 2027);
    // Nothing half-made left behind.
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        EXPECT_TRUE(
            name == QLatin1String("2026.coverage") || name == QLatin1String("2027.coverage") ||
            name == QLatin1String("coverage.session") || name == QLatin1String("watched.state"))
            << name.toStdString();
    std::printf("[ figures ] %d runs, %d reported; frames lost %lld, bytes not watched %lld, "
                "seconds monitored %lld\n",
                runs, reported, (long long)ledger.lostDone, (long long)ledger.unwatchedDone,
                (long long)ledger.seconds);
}
