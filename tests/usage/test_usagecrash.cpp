#include "support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr double kMaxBatch = 100 * 1500; // frames per batch times the largest frame

/// The last total a run of the driver reported; -1 when it reported none.
double lastReported(const QByteArray& output, int* lines) {
    double last = -1;
    *lines = 0;
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2) {
            last = parts[1].toDouble();
            ++*lines;
        }
    }
    return last;
}

double startTotal(const QByteArray& output) {
    const QList<QByteArray> parts = output.split('\n').value(0).split(' ');
    return parts.size() == 2 && parts[0] == "start" ? parts[1].toDouble() : -1;
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

    double known = 0; // the last total a run reported
    int kills = 0, reportedRuns = 0;
    for (; kills < 60; ++kills) {
        QProcess driver;
        driver.start(QStringLiteral(USAGE_CRASH_DRIVER), {folder, QString::number(rng() % 100000)});
        ASSERT_TRUE(driver.waitForStarted(5000));
        QThread::usleep(rng() % 400000);
        driver.kill(); // SIGKILL
        ASSERT_TRUE(driver.waitForFinished(5000));
        const QByteArray out = driver.readAllStandardOutput();
        int lines = 0;
        const double last = lastReported(out, &lines);
        if (lines == 0)
            continue; // killed before it could report: checked by the next run
        ++reportedRuns;
        const double start = startTotal(out);
        EXPECT_GE(start, known) << "run " << kills << ": a reported figure was lost";
        EXPECT_LE(start, known + kMaxBatch) << "run " << kills << ": counted twice";
        known = last;
    }
    EXPECT_GE(reportedRuns, 30);

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
    EXPECT_GE(total, known);
    EXPECT_LE(total, known + kMaxBatch);
    EXPECT_GT(total, 0);
    // Nothing left behind: no session, no half-made or waiting year files.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"2026.log"}));
    std::printf("%d kills, %d runs reported, day total %.0f bytes (last reported %.0f)\n", kills,
                reportedRuns, total, known);
}
