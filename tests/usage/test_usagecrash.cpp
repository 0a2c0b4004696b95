#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <random>

namespace {

/// What the runs of the driver have reported so far, and the check of each new start.
struct Ledger {
    double flushed = 0; ///< the total of the last flushed batch: must never be lost
    double pending = 0; ///< at most this much may have reached the disk

    /// Checks a run's report against the runs before it and takes in its figures. False when
    /// the run reported nothing (killed in start-up): the next run is checked instead.
    bool take(const QByteArray& output, const std::string& run) {
        bool started = false;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() != 2)
                continue;
            const double value = parts[1].toDouble();
            if (parts[0] == "start") {
                started = true;
                EXPECT_GE(value, flushed) << run << ": a flushed figure was lost";
                EXPECT_LE(value, pending) << run << ": counted twice";
                flushed = pending = value;
            } else if (parts[0] == "pending") {
                pending = value;
            } else if (parts[0] == "flushed") {
                flushed = pending = value;
            }
        }
        return started;
    }
};

/// Runs the driver to its end or its own kill; its output.
QByteArray runDriver(const QStringList& arguments) {
    QProcess driver;
    driver.start(QStringLiteral(USAGE_CRASH_DRIVER), arguments);
    EXPECT_TRUE(driver.waitForFinished(30000));
    return driver.readAllStandardOutput();
}

/// The sum of the totals of every record line of the folder's year files.
double storedTotal(const QString& folder, const QStringList& years) {
    double total = 0;
    for (const QString& year : years) {
        const QByteArray content = readFile(folder + QLatin1Char('/') + year + ".log");
        EXPECT_TRUE(content.isEmpty() || content.endsWith("\r\n")) << year.toStdString();
        for (const QByteArray& line : content.split('\n')) {
            const QList<QByteArray> f = line.trimmed().split('\t');
            if (f.size() == 5)
                total += f[4].toDouble();
        }
    }
    return total;
}

} // namespace

/// The real program path on a real folder, killed with SIGKILL at random moments (in recovery,
/// between batches, inside commits): a restart must find every reported figure and nothing
/// counted twice.
TEST(UsageCrash, KilledAtRandomMomentsLosesAtMostOneBatchAndNeverCountsTwice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/Usage Logs");
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));

    Ledger ledger;
    int kills = 0, reportedRuns = 0;
    for (; kills < 60; ++kills) {
        QProcess driver;
        driver.start(QStringLiteral(USAGE_CRASH_DRIVER), {folder, QString::number(rng() % 100000)});
        ASSERT_TRUE(driver.waitForStarted(5000));
        QThread::usleep(rng() % 400000);
        driver.kill(); // SIGKILL
        ASSERT_TRUE(driver.waitForFinished(5000));
        if (ledger.take(driver.readAllStandardOutput(), "run " + std::to_string(kills)))
            ++reportedRuns;
    }
    EXPECT_GE(reportedRuns, 30);
    const double known = ledger.flushed;

    QProcess finish;
    finish.start(QStringLiteral(USAGE_CRASH_DRIVER), {folder, QStringLiteral("--finish")});
    ASSERT_TRUE(finish.waitForFinished(10000));
    EXPECT_EQ(finish.exitCode(), 0);

    const QByteArray content = readFile(folder + QStringLiteral("/2026.log"));
    ASSERT_TRUE(content.endsWith("\r\n"));
    const QList<QByteArray> lines = content.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1) << content.constData();
    const QList<QByteArray> f = lines[0].trimmed().split('\t');
    ASSERT_EQ(f.size(), 5);
    EXPECT_EQ(f[0], "2026-12-08");
    const double sent = f[1].toDouble(), received = f[2].toDouble(), passby = f[3].toDouble(),
                 total = f[4].toDouble();
    EXPECT_EQ(sent + received + passby, total);
    EXPECT_GE(total, ledger.flushed);
    EXPECT_LE(total, ledger.pending);
    EXPECT_GT(total, 0);
    // Nothing left behind: no session, no half-made or waiting year files.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"2026.log"}));
    std::printf("%d kills, %d runs reported, day total %.0f bytes (last reported %.0f)\n", kills,
                reportedRuns, total, known);
}

/// Kills aimed at every change to the disk of a run, one after the other: inside the start-up
/// recovery, at every step of a commit, at day changes inside a batch. Each such run is followed
/// by runs killed at each step of the next start-up, so that a recovery cut short is itself
/// recovered. The fake clock starts shortly before midnight and New Year's Eve.
TEST(UsageCrash, KilledAtEachStepOfRecoveryAndCommitsAcrossMidnightAndNewYear) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/Usage Logs");
    const QDateTime midnights[] = {QDateTime(QDate(2026, 12, 30), QTime(23, 59, 57)),
                                   QDateTime(QDate(2026, 12, 31), QTime(23, 59, 57))};
    Ledger ledger;
    int runs = 0, reported = 0;
    auto run = [&](int firstKill, int secondKill, int dieAt, const QDateTime& start) {
        const QByteArray out = runDriver({folder, QString::number(firstKill * 100 + secondKill),
                                          QStringLiteral("--start"),
                                          start.toString(Qt::ISODate), QStringLiteral("--die-at"),
                                          QString::number(dieAt)});
        ++runs;
        if (ledger.take(out, "kill " + std::to_string(firstKill) + "/" +
                                 std::to_string(secondKill) + " at step " +
                                 std::to_string(dieAt) + " from " +
                                 start.toString(Qt::ISODate).toStdString()))
            ++reported;
    };
    for (int first = 1; first <= 24; ++first) {
        for (int second = 1; second <= 6; ++second) {
            // Runs start a little later each time, so that kills land before, at and after
            // the day change; the second half of the runs crosses into the new year.
            const QDateTime start =
                midnights[first > 12 ? 1 : 0].addSecs((first - 1) % 12 / 2 + second / 3);
            run(first, second, first, start);
            run(first, second, second, start.addSecs(1));
            if (::testing::Test::HasFailure())
                return;
        }
    }
    EXPECT_GE(reported, runs / 4);

    const QByteArray out =
        runDriver({folder, QStringLiteral("--finish"), QStringLiteral("--start"),
                   QDateTime(QDate(2027, 1, 1), QTime(0, 1)).toString(Qt::ISODate)});
    ASSERT_TRUE(ledger.take(out, "finish"));
    const double total = storedTotal(folder, {"2026", "2027"});
    EXPECT_GE(total, ledger.flushed);
    EXPECT_LE(total, ledger.pending);
    EXPECT_GT(total, 0);
    // Nothing left behind: no session, no half-made or waiting year files.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"2026.log", "2027.log"}));
    std::printf("%d runs, %d reported, stored total %.0f bytes\n", runs, reported, total);
}
