#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeFileSystem.h"
#include "support/LocaleCheck.h"
#include "support/UsageRecords.h"
#include "usage/clsUsageLogger.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

const QString kFolder = QStringLiteral("/logs");
const QDate kToday(2026, 12, 8);

QString file(const char* name) {
    return kFolder + QLatin1Char('/') + QLatin1String(name);
}

/// The figures a fresh start finds in a file system (as a crash would have left it).
double recoveredTotal(const FakeFileSystem& crashed, QDate day, QDate today) {
    FakeFileSystem fs(crashed);
    FakeClock clock(QDateTime(today, QTime(9, 0)));
    clsUsageLogger logger(fs, clock, kFolder);
    const clsUsageRec rec = logger.getDailyUsage(day);
    const double consistent = rec.dataReceived + rec.dataSent + rec.dataPassthru;
    EXPECT_DOUBLE_EQ(consistent, rec.dataTotalUsage) << "fields counted unevenly";
    for (const QString& f : fs.files())
        EXPECT_FALSE(f.endsWith(".ready") || f.endsWith(FileSystem::kTempSuffix)) << f.toStdString();
    return rec.dataTotalUsage;
}

} // namespace

TEST(UsageLoggerWrites, FramesOnlyTouchMemoryUntilFlush) {
    FakeFileSystem fs;
    FakeClock clock(QDateTime(kToday, QTime(9, 0)));
    clsUsageLogger logger(fs, clock, kFolder);
    const int before = fs.persistentWrites();
    for (int i = 0; i < 10000; ++i)
        logger.logUsage(usageRec(kToday, 60));
    EXPECT_EQ(fs.persistentWrites(), before);
    EXPECT_EQ(fs.file(file("_session.log")), QByteArray());
    EXPECT_TRUE(logger.flush());
    EXPECT_EQ(fs.persistentWrites(), before + 1);
    EXPECT_EQ(fs.file(file("_session.log")), QByteArray("2026-12-08\t0\t600000\t0\t600000\r\n"));
    EXPECT_TRUE(logger.flush()); // nothing new: no write
    EXPECT_EQ(fs.persistentWrites(), before + 1);
    EXPECT_EQ(fs.atomicWrites(file("2026.log")), 1); // created empty at start-up only
}

/// Every moment of a scripted run is taken as a crash: a fresh start must find each day's total
/// at least what was flushed and at most what was logged, never more.
TEST(UsageLoggerCrash, EveryCutOfEveryWriteCountsOnceAndLosesNoFlushedFigure) {
    const QDate d1(2026, 12, 31), d2(2027, 1, 1);
    FakeFileSystem fs;
    fs.setFile(file("2026.log"), "2026-12-31\t1\t2\t3\t6\r\n2026-12-30\t0\t4\t0\t4\r\n");
    fs.createFolder(kFolder);
    FakeClock clock(QDateTime(d1, QTime(23, 0)));

    struct Moment {
        FakeFileSystem fs;
        std::map<int, double> flushed, logged; // by day of month
    };
    std::vector<Moment> moments;
    std::map<int, double> flushed{{31, 6}, {1, 0}}, logged{{31, 6}, {1, 0}};
    fs.afterChange = [&] { moments.push_back({fs, flushed, logged}); };
    {
        clsUsageLogger logger(fs, clock, kFolder);
        auto log = [&](QDate d, double amount) {
            logger.logUsage(usageRec(d, amount, 1, 2));
            logged[d.day()] += amount + 3;
        };
        auto flush = [&] {
            logger.flush();
            flushed = logged;
        };
        for (int batch = 0; batch < 3; ++batch) {
            log(d1, 100 + batch);
            log(d1, 7);
            flush();
        }
        logger.getMonthlyUsage(12, 2026); // the view lists the current month
        flushed = logged;
        log(d1, 5);
        flush();
        log(d1, 9); // not flushed: the day change commits it
        log(d2, 50);
        flushed[31] = logged[31];
        flush();
        log(d2, 60);
        logger.release();
        flushed = logged;
    }
    fs.afterChange = nullptr;
    ASSERT_GT(moments.size(), 12u);
    for (size_t i = 0; i < moments.size(); ++i) {
        const Moment& m = moments[i];
        for (const QDate& d : {d1, d2}) {
            const double total = recoveredTotal(m.fs, d, d2);
            EXPECT_GE(total, m.flushed.at(d.day())) << "moment " << i << " day " << d.day();
            EXPECT_LE(total, m.logged.at(d.day())) << "moment " << i << " day " << d.day();
        }
        EXPECT_EQ(recoveredTotal(m.fs, QDate(2026, 12, 30), d2), 4) << "moment " << i;
    }
    EXPECT_EQ(recoveredTotal(fs, d1, d2), logged[31]);
    EXPECT_EQ(recoveredTotal(fs, d2, d2), logged[1]);
}

TEST(UsageLoggerFaults, FailedYearWriteKeepsTheOldFileAndTheFigures) {
    struct Case {
        const char* name;
        bool diskFull;
        const char* failingSuffix;
    };
    const Case cases[] = {{"ready file refused", false, ".ready"},
                          {"year file refused", false, "2026.log"},
                          {"disk full", true, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        const QByteArray old = "2026-12-01\t1\t1\t1\t3\r\n";
        fs.setFile(file("2026.log"), old);
        fs.createFolder(kFolder);
        FakeClock clock(QDateTime(kToday, QTime(9, 0)));
        clsUsageLogger logger(fs, clock, kFolder);
        logger.logUsage(usageRec(kToday, 1000));
        logger.flush();
        const QString suffix = QString::fromLatin1(c.failingSuffix);
        fs.diskFull = c.diskFull;
        if (!suffix.isEmpty())
            fs.failWrite = [suffix](const QString& p) { return p.endsWith(suffix); };

        logger.getMonthlyUsage(12, 2026); // commit fails
        logger.logUsage(usageRec(kToday, 5));
        EXPECT_FALSE(logger.flush());
        EXPECT_EQ(fs.file(file("2026.log")), old);
        EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 1005);
        // A crash now finds the committed and the running figures in the session file, once.
        EXPECT_EQ(recoveredTotal(fs, kToday, kToday), 1005);
        EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 1), kToday), 3);

        fs.diskFull = false;
        fs.failWrite = nullptr;
        EXPECT_TRUE(logger.flush()); // the year is written, then the new figures
        EXPECT_EQ(recoveredTotal(fs, kToday, kToday), 1005);
        logger.release();
        EXPECT_FALSE(fs.fileExists(file("_session.log")));
        EXPECT_EQ(fs.file(file("2026.log")),
                  QByteArray("2026-12-08\t0\t1005\t0\t1005\r\n2026-12-01\t1\t1\t1\t3\r\n"));
    }
}

TEST(UsageLoggerFaults, UnreadableYearFileIsNeverOverwritten) {
    FakeFileSystem fs;
    fs.createFolder(kFolder);
    const QByteArray hidden = "2026-12-01\t1\t1\t1\t3\r\n";
    fs.setFile(file("2026.log"), hidden);
    fs.setFile(file("2025.log"), "2025-05-05\t1\t2\t3\t6\r\n");
    fs.unreadable.insert(file("2026.log"));
    FakeClock clock(QDateTime(kToday, QTime(9, 0)));
    {
        clsUsageLogger logger(fs, clock, kFolder);
        logger.logUsage(usageRec(kToday, 70));
        logger.flush();
        EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 70);
        EXPECT_EQ(logger.getDailyUsage(QDate(2025, 5, 5)).dataTotalUsage, 6);
        EXPECT_EQ(logger.getMonthlyUsage(12, 2026)->Count(), 1);
    }
    EXPECT_EQ(fs.file(file("2026.log")), hidden);
    // The figures wait in the session file until the year file can be read again.
    fs.unreadable.clear();
    EXPECT_EQ(recoveredTotal(fs, kToday, kToday), 70);
    EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 1), kToday), 3);
}

TEST(UsageLoggerFaults, UnreadableSessionFileIsLeftForLater) {
    FakeFileSystem fs;
    fs.createFolder(kFolder);
    fs.setFile(file("_session.log"), "2026-12-07\t1\t1\t1\t3\r\n");
    fs.unreadable.insert(file("_session.log"));
    FakeClock clock(QDateTime(kToday, QTime(9, 0)));
    {
        clsUsageLogger logger(fs, clock, kFolder);
        logger.logUsage(usageRec(kToday, 10));
        EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 10);
    }
    EXPECT_EQ(fs.file(file("_session.log")), QByteArray("2026-12-07\t1\t1\t1\t3\r\n"));
    EXPECT_EQ(fs.file(file("2026.log")), QByteArray("2026-12-08\t0\t10\t0\t10\r\n"));
    fs.unreadable.clear();
    EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 7), kToday), 3);
}

/// A start that finds a cut commit completes it; a start cut at any step of that, too, leaves
/// the next start the same figures.
TEST(UsageLoggerCrash, RecoveryCutAtEveryStepCountsOnce) {
    struct Case {
        const char* name;
        QByteArray year, ready, session;
        double expected;
    };
    const Case cases[] = {
        {"ready file and its session", "2026-12-08\t0\t10\t0\t10\r\n",
         "2026-12-08\t0\t30\t0\t30\r\n", "2026-12-08\t0\t20\t0\t20\r\n", 30},
        {"ready file, session emptied", "2026-12-08\t0\t10\t0\t10\r\n",
         "2026-12-08\t0\t30\t0\t30\r\n", "", 30},
        {"session only", "2026-12-08\t0\t10\t0\t10\r\n", "", "2026-12-08\t0\t20\t0\t20\r\n", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        fs.createFolder(kFolder);
        fs.setFile(file("2026.log"), c.year);
        if (!c.ready.isEmpty())
            fs.setFile(file("2026.log.ready"), c.ready);
        fs.setFile(file("_session.log"), c.session);
        fs.setFile(file("2026.log.ready.quelmint-tmp"), "2026-12-08\t0\t99"); // half-written
        std::vector<FakeFileSystem> cuts;
        fs.afterChange = [&] { cuts.push_back(fs); };
        {
            FakeClock clock(QDateTime(kToday, QTime(9, 0)));
            clsUsageLogger logger(fs, clock, kFolder);
            EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, c.expected);
        }
        fs.afterChange = nullptr;
        ASSERT_GE(cuts.size(), 2u);
        for (size_t i = 0; i < cuts.size(); ++i)
            EXPECT_EQ(recoveredTotal(cuts[i], kToday, kToday), c.expected) << "cut " << i;
        EXPECT_EQ(fs.files(), QStringList({file("2026.log")}));
    }
}

/// A stored year that cannot be renamed over its year file keeps counting: its figures stay in
/// the totals, later figures join it, and a start that can put it in place finds every day once.
TEST(UsageLoggerFaults, AYearThatCannotBePutInPlaceKeepsItsFiguresCounted) {
    struct Case {
        const char* name;
        QByteArray session; // what the interrupted commit left in the session file
    };
    const Case cases[] = {{"session not yet emptied", "2026-12-07\t0\t5\t0\t5\r\n"},
                          {"session emptied", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        fs.createFolder(kFolder);
        fs.setFile(file("2026.log"), "2026-12-01\t1\t1\t1\t3\r\n");
        fs.setFile(file("2026.log.ready"), "2026-12-01\t1\t1\t1\t3\r\n2026-12-07\t0\t5\t0\t5\r\n");
        fs.setFile(file("_session.log"), c.session);
        fs.failWrite = [](const QString& p) { return p == file("2026.log"); };
        FakeClock clock(QDateTime(kToday, QTime(9, 0)));
        {
            clsUsageLogger logger(fs, clock, kFolder);
            EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 7)).dataTotalUsage, 5);
            logger.logUsage(usageRec(kToday, 8));
            EXPECT_FALSE(logger.flush()); // the year file still cannot be replaced
            EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 8);
            EXPECT_EQ(logger.getMonthlyUsage(12, 2026)->Count(), 3);
            // A crash now: the next start still finds every figure once.
            EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 7), kToday), 5);
            EXPECT_EQ(recoveredTotal(fs, kToday, kToday), 8);
        }
        for (const QString& f : fs.files())
            EXPECT_FALSE(f.contains("unplaced")) << f.toStdString();
        fs.failWrite = nullptr;
        EXPECT_EQ(recoveredTotal(fs, kToday, kToday), 8);
        EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 7), kToday), 5);
        EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 1), kToday), 3);
    }
}

/// A stored year of another year than the session's holds none of the session's figures: the
/// session is committed, not emptied.
TEST(UsageLoggerCrash, AStoredOtherYearLeavesTheSessionItsFigures) {
    FakeFileSystem fs;
    fs.createFolder(kFolder);
    fs.setFile(file("2025.log"), "2025-12-30\t0\t1\t0\t1\r\n");
    fs.setFile(file("2025.log.ready"), "2025-12-30\t0\t1\t0\t1\r\n2025-12-31\t0\t2\t0\t2\r\n");
    fs.setFile(file("2026.log"), "2026-12-01\t0\t3\t0\t3\r\n");
    fs.setFile(file("_session.log"), "2026-12-07\t0\t40\t0\t40\r\n");
    EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 7), kToday), 40);
    EXPECT_EQ(recoveredTotal(fs, QDate(2025, 12, 31), kToday), 2);
    EXPECT_EQ(recoveredTotal(fs, QDate(2026, 12, 1), kToday), 3);
}
