// The coverage file beside the year files: its lines, when it is written, what a damaged or
// unreadable file does, day and year changes, and a process killed between writes.
#include "platform/fakes/FakeFileSystem.h"
#include "usage/CoverageLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

const QString kFolder = QStringLiteral("/logs");
const QString k2026 = QStringLiteral("/logs/2026.coverage");
const QDate kDay(2026, 12, 8);

QDateTime at(const QDate& day, int h, int m, int s) {
    return QDateTime(day, QTime(h, m, s));
}

TEST(CoverageLine, ReadsWhatItWritesAndRejectsWhatItCannotRead) {
    const struct {
        const char* line;
        bool ok;
        qint64 ms;
        quint64 lost;
        const char* written; // the line written back for that day
    } cases[] = {
        {"2026-12-08\t3600\t1234", true, 3600000, 1234, "2026-12-08\t3600\t1234"},
        {"2026-12-08\t3600", true, 3600000, 0, "2026-12-08\t3600\t0"},
        {"2026-12-08", true, 0, 0, "2026-12-08\t0\t0"},
        {"2026-12-08\t86400\t0\t2310000\t1540", true, 86400000, 0,
         "2026-12-08\t86400\t0\t2310000\t1540"},
        {"2026-12-08\t36x0\t1", false, 0, 0, ""},
        {"2026-12-08\t-5\t1", false, 0, 0, ""},
        {"2026-12-08\t1.5\t1", false, 0, 0, ""},
        {"2026-12-08\t10\tlots", false, 0, 0, ""},
        {"2026-13-08\t10\t1", false, 0, 0, ""},
        {"oops", false, 0, 0, ""},
    };
    for (const auto& c : cases) {
        QDate date;
        CoverageLog::Day day;
        EXPECT_EQ(CoverageLog::parseLine(c.line, date, day), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(date, kDay) << c.line;
            EXPECT_EQ(day.monitoredMs, c.ms) << c.line;
            EXPECT_EQ(day.framesLost, c.lost) << c.line;
            EXPECT_EQ(CoverageLog::formatLine(date, day), QByteArray(c.written)) << c.line;
        }
    }
}

TEST(CoverageLine, WritesWholeSecondsAndKeepsUnknownFields) {
    CoverageLog::Day day;
    day.monitoredMs = 3600999;
    day.framesLost = 1234;
    EXPECT_EQ(CoverageLog::formatLine(kDay, day), QByteArray("2026-12-08\t3600\t1234"));
    day.extra = {"2310000", "1540"};
    EXPECT_EQ(CoverageLog::formatLine(kDay, day),
              QByteArray("2026-12-08\t3600\t1234\t2310000\t1540"));
}

TEST(CoverageLog, LostFramesAreWrittenAtOnceSecondsAtLeastEveryMinute) {
    FakeFileSystem fs;
    CoverageLog log(fs, kFolder);
    struct Step {
        int second; // seconds after 12:00:00
        bool monitoring;
        quint64 lost;
        const char* file; // the file afterwards
    };
    const Step steps[] = {
        {0, true, 0, ""},
        {1, true, 0, ""},
        {2, true, 1234, "2026-12-08\t2\t1234\r\n"},
        {3, false, 0, "2026-12-08\t2\t1234\r\n"},
        {61, true, 0, "2026-12-08\t2\t1234\r\n"}, // a gap of 58 s: not monitored
        {62, true, 0, "2026-12-08\t3\t1234\r\n"}, // a minute since the last write
        {63, true, 0, "2026-12-08\t3\t1234\r\n"},
        {64, true, 6, "2026-12-08\t5\t1240\r\n"},
    };
    for (const Step& s : steps) {
        log.tick(at(kDay, 12, 0, 0).addSecs(s.second), kDay, s.monitoring, s.lost);
        EXPECT_EQ(fs.file(k2026), QByteArray(s.file)) << "after second " << s.second;
    }
}

TEST(CoverageLog, AnEarlierRunsDayIsAddedToAndDamagedLinesAreKept) {
    FakeFileSystem fs;
    fs.setFile(k2026, "2026-12-08\t100\t5\r\nnot a line\r\n2026-12-07\t86400\t0\t77\r\n"
                      "2026-12-06\t1x\t3\r\n");
    {
        CoverageLog log(fs, kFolder);
        log.tick(at(kDay, 9, 0, 0), kDay, true, 0);
        log.tick(at(kDay, 9, 0, 1), kDay, true, 1);
    }
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-07\t86400\t0\t77\r\n"
                                         "2026-12-08\t101\t6\r\n"
                                         "not a line\r\n"
                                         "2026-12-06\t1x\t3\r\n"));
    bool ok = false;
    const QMap<QDate, CoverageLog::Day> days = CoverageLog::read(fs, k2026, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(days.size(), 2) << "the damaged day is unknown";
    EXPECT_EQ(days.value(kDay).framesLost, 6u);
}

TEST(CoverageLog, AnUnreadableFileIsNeverOverwrittenAndAMissingOneTellsNothing) {
    FakeFileSystem fs;
    fs.setFile(k2026, "2026-12-08\t100\t5\r\n");
    fs.unreadable.insert(k2026);
    {
        CoverageLog log(fs, kFolder);
        log.tick(at(kDay, 9, 0, 0), kDay, true, 3);
        EXPECT_FALSE(log.commit());
        EXPECT_EQ(log.day(kDay).framesLost, 3u);
    }
    fs.unreadable.clear();
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-08\t100\t5\r\n"));
    bool ok = true;
    EXPECT_TRUE(CoverageLog::read(fs, QStringLiteral("/logs/2025.coverage"), &ok).isEmpty());
    EXPECT_TRUE(ok);
    fs.unreadable.insert(k2026);
    EXPECT_TRUE(CoverageLog::read(fs, k2026, &ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST(CoverageLog, DayAndYearChangesAndAClockSetBack) {
    FakeFileSystem fs;
    const QDate newYear(2027, 1, 1);
    const QDate lastDay(2026, 12, 31);
    {
        CoverageLog log(fs, kFolder);
        log.tick(at(lastDay, 23, 59, 58), lastDay, true, 0);
        log.tick(at(lastDay, 23, 59, 59), lastDay, true, 2);
        log.tick(at(newYear, 0, 0, 0), newYear, true, 3);
        log.tick(at(newYear, 0, 0, 1), newYear, true, 0);
        // The clock goes back to the old year: that year's file takes the figures.
        log.tick(at(lastDay, 23, 59, 59), lastDay, true, 4);
    }
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-31\t1\t6\r\n"));
    EXPECT_EQ(fs.file(QStringLiteral("/logs/2027.coverage")), QByteArray("2027-01-01\t2\t3\r\n"));
}

TEST(CoverageLog, AKillAtAnyWriteLosesNothingWrittenAndCountsNothingTwice) {
    // Every state the file system passes through is a moment the process could be killed in.
    FakeFileSystem fs;
    std::vector<std::unique_ptr<FakeFileSystem>> moments;
    fs.afterChange = [&] { moments.push_back(std::make_unique<FakeFileSystem>(fs)); };
    std::mt19937 random(14);
    quint64 lostSoFar = 0;
    std::vector<quint64> lostAtWrite; // what had been reported when each write happened
    {
        CoverageLog log(fs, kFolder);
        for (int s = 0; s < 400; ++s) {
            const quint64 lost = random() % 4 == 0 ? random() % 1000 : 0;
            lostSoFar += lost;
            const size_t before = moments.size();
            log.tick(at(kDay, 10, 0, 0).addSecs(s), kDay, true, lost);
            for (size_t i = before; i < moments.size(); ++i)
                lostAtWrite.push_back(lostSoFar);
        }
    }
    ASSERT_FALSE(moments.empty());
    for (size_t i = 0; i < moments.size(); ++i) {
        FakeFileSystem& after = *moments[i];
        after.afterChange = nullptr;
        const CoverageLog::Day stored = CoverageLog::read(after, k2026).value(kDay);
        if (i < lostAtWrite.size()) {
            EXPECT_EQ(stored.framesLost, lostAtWrite[i]) << "write " << i;
        }
        // The next run adds to what the killed one left, once.
        {
            CoverageLog next(after, kFolder);
            next.tick(at(kDay, 11, 0, 0), kDay, true, 7);
        }
        EXPECT_EQ(CoverageLog::read(after, k2026).value(kDay).framesLost, stored.framesLost + 7)
            << "write " << i;
    }
    EXPECT_EQ(CoverageLog::read(fs, k2026).value(kDay).framesLost, lostSoFar);
    EXPECT_EQ(CoverageLog::read(fs, k2026).value(kDay).monitoredMs, 399000);
}

} // namespace
