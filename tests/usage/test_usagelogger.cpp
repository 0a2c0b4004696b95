#include "platform/RealFileSystem.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeFileSystem.h"
#include "support/LocalText.h"
#include "support/LocaleCheck.h"
#include "support/TestFiles.h"
#include "support/UsageRecords.h"
#include "usage/Collection2.h"
#include "usage/LogFolder.h"
#include "usage/UsageLineFormat.h"
#include "usage/clsUsageLogger.h"

#include <QLocale>
#include <QTemporaryDir>

#include <limits>

#include <gtest/gtest.h>

namespace {

const QDate kToday(2026, 12, 8);

FakeClock clockOn(QDate day) {
    return FakeClock(QDateTime(day, QTime(10, 0)));
}

/// A run of the program on a real temporary folder.
class UsageLoggerOnDisk : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RealFileSystem fs;
    QString folder() const { return dir.path() + QStringLiteral("/Usage Logs"); }
    QString path(const QString& name) const { return folder() + QLatin1Char('/') + name; }
    QByteArray content(const QString& name) const { return readFile(path(name)); }
    void put(const QString& name, const QByteArray& data) {
        fs.createFolder(folder());
        ASSERT_TRUE(fs.writeFileAtomic(path(name), data));
    }
};

} // namespace

TEST(Collection2, KeepsDatesAscendingAndMergesSameDate) {
    Collection2 c;
    const QDate days[] = {QDate(2026, 1, 5), QDate(2026, 1, 1), QDate(2026, 1, 9),
                          QDate(2026, 1, 5), QDate(2026, 1, 3)};
    for (const QDate& d : days)
        c.Add(std::make_shared<clsUsageRec>(usageRec(d, 1, 2, 3)));
    ASSERT_EQ(c.Count(), 4);
    EXPECT_EQ(c.Item(1)->usageDate, QDate(2026, 1, 1));
    EXPECT_EQ(c.Item(2)->usageDate, QDate(2026, 1, 3));
    EXPECT_EQ(c.Item(3)->usageDate, QDate(2026, 1, 5));
    EXPECT_EQ(c.Item(4)->usageDate, QDate(2026, 1, 9));
    EXPECT_EQ(c.Item(3)->dataTotalUsage, 12);
    EXPECT_EQ(c.Item(3)->dataSent, 4);
    // A record that starts a date is stored itself, not a copy.
    auto shared = std::make_shared<clsUsageRec>(usageRec(QDate(2026, 1, 20), 0, 0, 0));
    c.Add(shared);
    EXPECT_EQ(c.Item(5).get(), shared.get());
    c.Remove(1);
    EXPECT_EQ(c.Item(1)->usageDate, QDate(2026, 1, 3));
}

TEST(UsageLineFormat, AmountsAsWrittenAndRead) {
    struct Case {
        double value;
        const char* text;
        double readBack; // 15 significant digits are kept
    };
    const Case cases[] = {
        {0, "0", 0},
        {123, "123", 123},
        {1048576, "1048576", 1048576},
        {999999999999999.0, "999999999999999", 999999999999999.0},
        {1e15, "1E+15", 1e15},
        {1234567890123456.0, "1.23456789012346E+15", 1234567890123460.0},
        {0.5, "0.5", 0.5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UsageLineFormat::formatAmount(c.value), QByteArray(c.text)) << c.text;
        EXPECT_EQ(UsageLineFormat::parseAmount(c.text), c.readBack) << c.text;
    }
    struct Read {
        const char* text;
        double value;
    };
    const Read reads[] = {{" 42 ", 42}, {"", 0},         {"abc", 0}, {"inf", 0},
                          {"nan", 0},   {"1e+15", 1e15}, {"12x", 0}, {"\x01\xff", 0}};
    for (const Read& r : reads)
        EXPECT_DOUBLE_EQ(UsageLineFormat::parseAmount(r.text), r.value) << r.text;
    // The user's own decimal separator is read as well.
    const QString local = perLocale("2.5", "2,5");
    if (!local.isEmpty()) {
        EXPECT_DOUBLE_EQ(UsageLineFormat::parseAmount(local.toLatin1()), 2.5);
    }
}

TEST(UsageLineFormat, DatesInIsoAndShortFormat) {
    const QDate d(2026, 3, 7);
    EXPECT_EQ(UsageLineFormat::formatDate(d), QByteArray("2026-03-07"));
    EXPECT_EQ(UsageLineFormat::parseDate("2026-03-07"), d);
    // The user's short date, with the year in four digits.
    const QByteArray shortText = perLocale("7 Mar 2026", "07.03.2026").toUtf8();
    if (!shortText.isEmpty()) {
        EXPECT_EQ(UsageLineFormat::parseDate(shortText), d) << shortText.constData();
    }
    for (const char* bad : {"", "yesterday", "2026-13-01", "31.02.2026x", "\x80\x81", "2026-12-08x",
                            "2026-12-08 old"})
        EXPECT_FALSE(UsageLineFormat::parseDate(bad).isValid()) << bad;

    clsUsageRec r;
    ASSERT_TRUE(UsageLineFormat::parseLine("2026-03-07\t1\t2", r));
    EXPECT_EQ(r.dataSent, 1);
    EXPECT_EQ(r.dataReceived, 2);
    EXPECT_EQ(r.dataPassthru, 0);
    EXPECT_EQ(r.dataTotalUsage, 0);
    EXPECT_EQ(UsageLineFormat::formatLine(usageRec(d, 20, 10, 5)),
              QByteArray("2026-03-07\t10\t20\t5\t35"));
}

TEST_F(UsageLoggerOnDisk, TwoRunsOnOneDayLeaveOneLineWithTheSums) {
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(kToday, 1000, 0, 0));
        logger.logUsage(usageRec(kToday, 0, 300, 0));
        logger.flush();
    }
    EXPECT_FALSE(fs.fileExists(path("_session.log")));
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(kToday, 5, 7, 11));
        logger.release();
    }
    EXPECT_EQ(content("2026.log"), QByteArray("2026-12-08\t307\t1005\t11\t1323\r\n"));
    EXPECT_FALSE(fs.fileExists(path("_session.log")));
}

TEST_F(UsageLoggerOnDisk, MonthsFromJanuaryNewestDayFirst) {
    FakeClock clock = clockOn(QDate(2026, 1, 1));
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(QDate(2026, 1, 1), 1, 0, 0));
        logger.logUsage(usageRec(QDate(2026, 2, 5), 3, 0, 0));
        logger.logUsage(usageRec(QDate(2026, 1, 2), 2, 0, 0)); // clock set back
    }
    EXPECT_EQ(content("2026.log"), QByteArray("2026-01-02\t0\t2\t0\t2\r\n"
                                              "2026-01-01\t0\t1\t0\t1\r\n"
                                              "2026-02-05\t0\t3\t0\t3\r\n"));
}

TEST_F(UsageLoggerOnDisk, DuplicateDatesAndBlankLinesMerge) {
    QByteArray shortDate = perLocale("1 Dec 2026", "01.12.2026").toUtf8();
    if (shortDate.isEmpty())
        shortDate = "2026-12-01"; // another locale: the fixed form only
    put("2026.log", "\r\n2026-12-01\t1\t2\t3\t6\r\n   \r\n" + shortDate +
                        "\t10\t20\t30\t60\r\n2026-11-30\t0\t5\t0\t5\r\n");
    FakeClock clock = clockOn(kToday);
    clsUsageLogger logger(fs, clock, folder());
    const auto dec = logger.getMonthlyUsage(12, 2026);
    ASSERT_TRUE(dec);
    ASSERT_EQ(dec->Count(), 2); // 1 Dec (merged) and today's zero record
    EXPECT_EQ(dec->Item(1)->dataTotalUsage, 66);
    EXPECT_EQ(dec->Item(1)->dataSent, 11);
    EXPECT_EQ(dec->Item(2)->usageDate, kToday);
    EXPECT_EQ(content("2026.log"), QByteArray("2026-11-30\t0\t5\t0\t5\r\n"
                                              "2026-12-08\t0\t0\t0\t0\r\n"
                                              "2026-12-01\t11\t22\t33\t66\r\n"));
    // Asking twice finds an empty session and writes the same file again.
    logger.getMonthlyUsage(12, 2026);
    EXPECT_EQ(logger.getMonthlyUsage(12, 2026)->Item(2)->dataTotalUsage, 0);
    EXPECT_EQ(logger.getMonthlyUsage(13, 2026), nullptr);
    EXPECT_EQ(logger.getMonthlyUsage(0, 2026), nullptr);
}

TEST_F(UsageLoggerOnDisk, LeftOverSessionGoesIntoItsOwnPastYear) {
    put("_session.log", "\r\n  \r\n2025-12-31\t4\t6\t0\t10\r\n2025-12-31\t400\t600\t0\t1000\r\n");
    put("2025.log", "2025-12-31\t1\t1\t1\t3\r\n");
    FakeClock clock = clockOn(QDate(2026, 1, 2));
    {
        clsUsageLogger logger(fs, clock, folder());
        EXPECT_EQ(content("_session.log"), QByteArray()); // an empty session for today
        EXPECT_TRUE(fs.fileExists(path("2026.log")));
        EXPECT_EQ(logger.getDailyUsage(QDate(2025, 12, 31)).dataTotalUsage, 13);
    }
    EXPECT_EQ(content("2025.log"), QByteArray("2025-12-31\t5\t7\t1\t13\r\n"));
    EXPECT_EQ(content("2026.log"), QByteArray("2026-01-02\t0\t0\t0\t0\r\n"));
}

TEST_F(UsageLoggerOnDisk, NewYearCommitsTheOldDayIntoTheOldYear) {
    FakeClock clock = clockOn(QDate(2026, 12, 31));
    clsUsageLogger logger(fs, clock, folder());
    logger.logUsage(usageRec(QDate(2026, 12, 31), 100, 0, 0));
    logger.flush();
    EXPECT_FALSE(fs.fileExists(path("2027.log")));
    logger.logUsage(usageRec(QDate(2027, 1, 1), 0, 50, 0));
    logger.flush();
    EXPECT_EQ(content("2026.log"), QByteArray("2026-12-31\t0\t100\t0\t100\r\n"));
    EXPECT_TRUE(fs.fileExists(path("2027.log")));
    EXPECT_EQ(content("_session.log"), QByteArray("2027-01-01\t50\t0\t0\t50\r\n"));
    EXPECT_EQ(logger.getDailyUsage(QDate(2027, 1, 1)).dataSent, 50);
    EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 31)).dataReceived, 100);
    logger.release();
    EXPECT_EQ(content("2027.log"), QByteArray("2027-01-01\t50\t0\t0\t50\r\n"));
}

TEST_F(UsageLoggerOnDisk, RunWithoutTrafficLeavesAZeroLine) {
    FakeClock clock = clockOn(kToday);
    { clsUsageLogger logger(fs, clock, folder()); }
    EXPECT_EQ(content("2026.log"), QByteArray("2026-12-08\t0\t0\t0\t0\r\n"));
}

TEST_F(UsageLoggerOnDisk, ClockSetBackMergesIntoTheEarlierDay) {
    put("2026.log", "2026-12-07\t1\t2\t0\t3\r\n");
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(kToday, 10, 0, 0));
        logger.logUsage(usageRec(QDate(2026, 12, 7), 20, 0, 0));
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 7)).dataTotalUsage, 23);
        EXPECT_EQ(logger.getDailyUsage(kToday).dataTotalUsage, 10);
    }
    EXPECT_EQ(content("2026.log"),
              QByteArray("2026-12-08\t0\t10\t0\t10\r\n2026-12-07\t1\t22\t0\t23\r\n"));
}

TEST_F(UsageLoggerOnDisk, DailyUsageAfterListingIsTheWholeDay) {
    FakeClock clock = clockOn(kToday);
    clsUsageLogger logger(fs, clock, folder());
    logger.logUsage(usageRec(kToday, 100, 0, 0));
    logger.getMonthlyUsage(12, 2026); // commits
    logger.logUsage(usageRec(kToday, 0, 7, 0));
    const clsUsageRec day = logger.getDailyUsage(kToday);
    EXPECT_EQ(day.dataReceived, 100);
    EXPECT_EQ(day.dataSent, 7);
    EXPECT_EQ(day.dataTotalUsage, 107);
    EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 1)).dataTotalUsage, 0);
}

TEST_F(UsageLoggerOnDisk, NoDateOrNoYearNeverReachesAnotherDay) {
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(QDate(), 5, 0, 0)); // counted on the running day
        ASSERT_NE(logger.getMonthlyUsage(12, 2026)->Count(), 0);
        EXPECT_EQ(logger.getMonthlyUsage(12, 0)->Count(), 0); // an empty year picker
    }
    EXPECT_EQ(content("2026.log"), QByteArray("2026-12-08\t0\t5\t0\t5\r\n"));
}

TEST_F(UsageLoggerOnDisk, TornSessionTailIsIgnored) {
    // A kill between the in-place write and the cut leaves the new line and an old tail.
    put("_session.log", "2026-12-08\t1\t2\t3\t6\r\n9\t9\t99999\r\n");
    FakeClock clock = clockOn(kToday);
    { clsUsageLogger logger(fs, clock, folder()); }
    EXPECT_EQ(content("2026.log"), QByteArray("2026-12-08\t1\t2\t3\t6\r\n"));
}

TEST_F(UsageLoggerOnDisk, BadLinesNeverCostOtherDaysTheirFigures) {
    const QByteArray longLine = "2026-12-02\t" + QByteArray(200000, '7');
    const QByteArray binary("\x00\x01\xfe\xff\t1\t2\r", 10);
    put("2026.log", "garbage here\r\n"
                    "2026-12-03\t5\t6\t7\t18\n"        // LF only
                    "31/31/2026\t100\t100\t0\t200\r\n" // unreadable date
                    "31/31/2026\t100\t100\t0\t200\r\n" // the same again: not merged
                    "2026-12-04\t9\r\n"                // missing fields
                        + binary +
                        "\r\n"
                        "2026-12-05\tx\t3\t\x01\t3\r\n" // unreadable amounts
                        "2025-06-01\t1\t1\t1\t3\r\n"    // another year's day
                        + longLine +
                        "\r\n"
                        "2026-12-03\t1\t1\t1\t3"); // no line end at all
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(kToday, 1, 0, 0));
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 3)).dataTotalUsage, 21);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 4)).dataSent, 9);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 5)).dataReceived, 0); // kept apart
    }
    const QByteArray after = content("2026.log");
    const QList<QByteArray> lines = after.split('\n');
    EXPECT_TRUE(after.endsWith("\r\n"));
    EXPECT_TRUE(lines.contains("2026-12-08\t0\t1\t0\t1\r"));
    EXPECT_TRUE(lines.contains("2026-12-03\t6\t7\t8\t21\r"));
    EXPECT_TRUE(lines.contains("2026-12-04\t9\t0\t0\t0\r"));
    EXPECT_TRUE(lines.contains("2026-12-05\tx\t3\t\x01\t3\r"));
    // Lines that are not this year's records are kept as they were, each one.
    EXPECT_EQ(lines.count("31/31/2026\t100\t100\t0\t200\r"), 2);
    EXPECT_EQ(lines.count("garbage here\r"), 1);
    EXPECT_EQ(lines.count("2025-06-01\t1\t1\t1\t3\r"), 1);
    // A CR alone ends a line, too.
    EXPECT_TRUE(after.contains(binary.left(8) + "\r\n"));
    // The long line's amount overflows: the line is kept as it was, not read as 0.
    EXPECT_TRUE(lines.contains(longLine + "\r"));
}

TEST_F(UsageLoggerOnDisk, AnotherYearsLinesStayOutOfThisYearsMonths) {
    // A year file that holds days of another year (copied in by hand, or by an older program):
    // they are not this year's days, so they must neither show in its months, nor merge with
    // each other or with this year's days, nor move in the file.
    put("2026.log", "2026-04-02\t0\t4\t0\t4\r\n"
                    "2025-03-10\t10\t20\t0\t30\r\n"
                    "2026-03-10\t1\t2\t0\t3\r\n"
                    "2025-02-07\t5\t5\t0\t10\r\n"
                    "2025-02-07\t5\t5\t0\t10\r\n");
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        const auto march = logger.getMonthlyUsage(3, 2026);
        ASSERT_TRUE(march);
        ASSERT_EQ(march->Count(), 1);
        EXPECT_EQ(march->Item(1)->usageDate, QDate(2026, 3, 10));
        EXPECT_EQ(march->Item(1)->dataTotalUsage, 3);
        EXPECT_EQ(logger.getMonthlyUsage(2, 2026)->Count(), 0);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 3, 10)).dataTotalUsage, 3);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 2, 7)).dataTotalUsage, 0);
        logger.logUsage(usageRec(kToday, 1, 0, 0));
    }
    // This year's days in month order, newest first; the other lines after them, as they were.
    EXPECT_EQ(content("2026.log"), QByteArray("2026-03-10\t1\t2\t0\t3\r\n"
                                              "2026-04-02\t0\t4\t0\t4\r\n"
                                              "2026-12-08\t0\t1\t0\t1\r\n"
                                              "2025-03-10\t10\t20\t0\t30\r\n"
                                              "2025-02-07\t5\t5\t0\t10\r\n"
                                              "2025-02-07\t5\t5\t0\t10\r\n"));
    // They never reach the other year's own file either.
    EXPECT_FALSE(fs.fileExists(path("2025.log")));
}

TEST(LogFolder, BesideTheProgramWhenWritableElseAppData) {
    FakeFileSystem fs;
    EXPECT_EQ(LogFolder::choose(fs, "/opt/q", "/home/u/.local/share/q"),
              QStringLiteral("/opt/q/Usage Logs"));
    EXPECT_TRUE(fs.folderExists("/opt/q/Usage Logs"));
    EXPECT_TRUE(fs.listFolder("/opt/q/Usage Logs").isEmpty()); // the probe is gone

    FakeFileSystem ro;
    ro.failWrite = [](const QString& p) { return p.startsWith("/usr/"); };
    EXPECT_EQ(LogFolder::choose(ro, "/usr/bin", "/home/u/.local/share/q"),
              QStringLiteral("/home/u/.local/share/q/Usage Logs"));
    EXPECT_TRUE(ro.folderExists("/home/u/.local/share/q/Usage Logs"));

    QTemporaryDir dir;
    RealFileSystem real;
    EXPECT_TRUE(LogFolder::usable(real, dir.path() + "/a/Usage Logs"));
    EXPECT_TRUE(real.listFolder(dir.path() + "/a/Usage Logs").isEmpty());
}

TEST(LogFolder, AnInstalledProgramKeepsItsLogsInTheUserDataFolderEvenWhenItCouldWriteBeside) {
    // Everything is writable here (as for root): only the program's folder decides.
    const struct {
        const char* programFolder;
        const char* expected;
    } cases[] = {
        {"/usr/bin", "/home/u/.local/share/q/Usage Logs"},
        {"/usr/local/bin", "/home/u/.local/share/q/Usage Logs"},
        {"/usr", "/home/u/.local/share/q/Usage Logs"},
        {"/usr/bin/", "/home/u/.local/share/q/Usage Logs"},
        {"/bin", "/home/u/.local/share/q/Usage Logs"},
        {"/sbin", "/home/u/.local/share/q/Usage Logs"},
        {"/usrlocal/q", "/usrlocal/q/Usage Logs"},
        {"/home/u/quelmint/build/app", "/home/u/quelmint/build/app/Usage Logs"},
        {"/opt/q", "/opt/q/Usage Logs"},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        EXPECT_EQ(LogFolder::choose(fs, c.programFolder, "/home/u/.local/share/q"),
                  QString::fromUtf8(c.expected))
            << c.programFolder;
        EXPECT_EQ(fs.folderExists(QString::fromUtf8(c.programFolder) + "/Usage Logs"),
                  QString::fromUtf8(c.expected).startsWith(c.programFolder))
            << c.programFolder << ": nothing is created beside an installed program";
    }
}

TEST_F(UsageLoggerOnDisk, AYearFileThatCannotBeReadKeepsItsSessionWaiting) {
    // A folder where the year file should be: it can be neither read nor replaced.
    fs.createFolder(path("2025.log"));
    put("_session.log", "2025-12-30\t1\t2\t3\t6\r\n");
    put("2026.log", "2026-12-01\t0\t9\t0\t9\r\n");
    FakeClock clock = clockOn(kToday);
    {
        clsUsageLogger logger(fs, clock, folder());
        logger.logUsage(usageRec(kToday, 4, 0, 0));
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 1)).dataTotalUsage, 9);
        EXPECT_EQ(logger.getDailyUsage(QDate(2025, 12, 30)).dataTotalUsage, 0);
    }
    EXPECT_EQ(content("2026.log"),
              QByteArray("2026-12-08\t0\t4\t0\t4\r\n2026-12-01\t0\t9\t0\t9\r\n"));
    EXPECT_EQ(content("_session.log"), QByteArray("2025-12-30\t1\t2\t3\t6\r\n"));
    EXPECT_TRUE(fs.folderExists(path("2025.log")));
}

TEST_F(UsageLoggerOnDisk, LinesEndingInCrLfOrCrMixedKeepEveryDay) {
    struct Case {
        const char* name;
        QByteArray year;
        QByteArray session;
    };
    const Case cases[] = {
        {"CR only", "2026-12-03\t1\t2\t3\t6\r2026-12-02\t10\t20\t30\t60\r2026-12-01\t0\t7\t0\t7\r",
         "2026-12-08\t0\t5\t0\t5\r"},
        {"mixed", "2026-12-03\t1\t2\t3\t6\r\n2026-12-02\t10\t20\t30\t60\n\r2026-12-01\t0\t7\t0\t7",
         "\r  \r2026-12-08\t0\t5\t0\t5\r9\t9\r\n"},
        {"CR LF", "2026-12-03\t1\t2\t3\t6\r\n2026-12-02\t10\t20\t30\t60\r\n2026-12-01\t0\t7\t0\t7\r\n",
         "2026-12-08\t0\t5\t0\t5\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put("2026.log", c.year);
        put("_session.log", c.session);
        FakeClock clock = clockOn(kToday);
        {
            clsUsageLogger logger(fs, clock, folder());
            EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 3)).dataTotalUsage, 6);
            EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 2)).dataPassthru, 30);
            EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 1)).dataReceived, 7);
            logger.logUsage(usageRec(kToday, 1, 0, 0));
        }
        EXPECT_EQ(content("2026.log"), QByteArray("2026-12-08\t0\t6\t0\t6\r\n"
                                                  "2026-12-03\t1\t2\t3\t6\r\n"
                                                  "2026-12-02\t10\t20\t30\t60\r\n"
                                                  "2026-12-01\t0\t7\t0\t7\r\n"));
        ASSERT_TRUE(QFile::remove(path("2026.log")));
    }
}

TEST(UsageLineFormat, AmountsInTheWritersFormOrTheLocalesGroupedForm) {
    struct Case {
        const char* locale;
        const char* text;
        bool readable;
        double value;
    };
    const Case cases[] = {
        {"en_US", "1048576", true, 1048576},
        {"en_US", "1E+15", true, 1e15},
        {"en_US", "1,048,576", true, 1048576},
        {"en_US", "2.5", true, 2.5},
        {"de_DE", "1.048.576", true, 1048576},
        {"de_DE", "2,5", true, 2.5},
        {"de_DE", "1.5", true, 1.5}, // the writer's own form comes first
        {"en_US", "", true, 0},
        {"en_US", "1x5", false, 0},
        {"en_US", "12x", false, 0},
        {"en_US", "1e999", false, 0},
        {"en_US", "-1e999", false, 0},
        {"en_US", "inf", false, 0},
        {"en_US", "nan", false, 0},
        {"en_US", "1.048.576", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.text);
        double v = -7;
        EXPECT_EQ(UsageLineFormat::readAmount(c.text, v, QLocale(QString::fromLatin1(c.locale))),
                  c.readable);
        EXPECT_EQ(v, c.readable ? c.value : -7);
    }
    // Amounts past the largest double are written as the largest that reads back.
    for (const double big : {1.7976931348623157e308, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(UsageLineFormat::formatAmount(big), QByteArray("1.79769313486231E+308"));
        EXPECT_EQ(UsageLineFormat::formatAmount(-big), QByteArray("-1.79769313486231E+308"));
    }
    double v = 0;
    EXPECT_TRUE(UsageLineFormat::readAmount("1.79769313486231E+308", v));
    clsUsageRec r;
    EXPECT_FALSE(UsageLineFormat::parseLine("2026-03-07\t1\t2x\t3\t6", r));
    EXPECT_EQ(r.usageDate, QDate(1899, 12, 30)); // untouched
}

TEST_F(UsageLoggerOnDisk, UnreadableAndOverflowingAmountsKeepTheirLines) {
    const QByteArray kept[] = {
        "2026-12-05\t1x5\t3\t0\t8",
        "2026-12-05\t1x5\t3\t0\t8", // the same again: never merged
        "2026-12-06\t1e999\t0\t0\t5",
        "2026-12-07\t1e308\t0\t0\t1e308", // a second 7 December would overflow the sum
    };
    QByteArray year = "2026-12-07\t1e308\t0\t0\t1e308\r\n2026-12-05\t1\t2\t3\t6\r\n"
                      "2026-12-04\t0\t1.7976931348623e308\t0\t1.7976931348623e308\r\n";
    for (const QByteArray& line : kept)
        year += line + "\r\n";
    put("2026.log", year);
    FakeClock clock = clockOn(QDate(2026, 12, 4));
    {
        clsUsageLogger logger(fs, clock, folder());
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 5)).dataTotalUsage, 6);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 6)).dataTotalUsage, 0);
        EXPECT_EQ(logger.getDailyUsage(QDate(2026, 12, 7)).dataSent, 1e308);
        // Today's sum overflows at the commit: the largest finite amount is kept, not 0.
        logger.logUsage(usageRec(QDate(2026, 12, 4), 1e308));
    }
    const QList<QByteArray> lines = content("2026.log").split('\n');
    EXPECT_EQ(lines.count("2026-12-05\t1\t2\t3\t6\r"), 1);
    EXPECT_EQ(lines.count("2026-12-07\t1E+308\t0\t0\t1E+308\r"), 1);
    EXPECT_EQ(lines.count("2026-12-04\t0\t1.79769313486231E+308\t0\t1.79769313486231E+308\r"), 1);
    EXPECT_EQ(lines.count(QByteArray(kept[0]) + "\r"), 2);
    EXPECT_EQ(lines.count(QByteArray(kept[2]) + "\r"), 1);
    EXPECT_EQ(lines.count(QByteArray(kept[3]) + "\r"), 1);
}

TEST_F(UsageLoggerOnDisk, StartUpRemovesOnlyItsOwnTemporaryFiles) {
    struct Entry {
        const char* name;
        bool kept;
    };
    const Entry entries[] = {
        {"notes.tmp", true},
        {"2026.log.tmp", true},
        {"_session.log.TMP", true},
        {"backup.tmp.log.txt", true},
        {"2026.log.quelmint-tmp", false},
        {"2026.log.ready.quelmint-tmp", false},
    };
    for (const Entry& e : entries)
        put(QString::fromLatin1(e.name), QByteArray("kept ") + e.name);
    FakeClock clock = clockOn(kToday);
    { clsUsageLogger logger(fs, clock, folder()); }
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(fs.fileExists(path(QString::fromLatin1(e.name))), e.kept);
        if (e.kept) {
            EXPECT_EQ(content(QString::fromLatin1(e.name)), QByteArray("kept ") + e.name);
        }
    }
}
