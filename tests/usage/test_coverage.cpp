// The coverage file beside the year files: its lines, when it is written, what a damaged or
// unreadable file does, day and year changes, traffic not watched, and a process killed between
// writes.
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
        quint64 unwatchedBytes;
        quint64 unwatchedFrames;
        const char* written; // the line written back for that day
        quint64 ipv6Bytes = 0, ipv6Frames = 0;
    } cases[] = {
        {"2026-12-08\t3600\t1234", true, 3600000, 1234, 0, 0, "2026-12-08\t3600\t1234\t0\t0"},
        {"2026-12-08\t3600", true, 3600000, 0, 0, 0, "2026-12-08\t3600\t0\t0\t0"},
        {"2026-12-08", true, 0, 0, 0, 0, "2026-12-08\t0\t0\t0\t0"},
        {"2026-12-08\t86400\t0\t2310000\t1540", true, 86400000, 0, 2310000, 1540,
         "2026-12-08\t86400\t0\t2310000\t1540"},
        {"2026-12-08\t1\t2\t3", true, 1000, 2, 3, 0, "2026-12-08\t1\t2\t3\t0"},
        {"2026-12-08\t1\t0\t0\t0\t1200000000\t900000", true, 1000, 0, 0, 0,
         "2026-12-08\t1\t0\t0\t0\t1200000000\t900000", 1200000000, 900000},
        // beyond 15 digits the year files' form: 15 significant digits and an exponent
        {"2026-12-08\t1\t2\t9007199254740992\t4\t5\t6\tnew\t", true, 1000, 2, 9007199254740992ull,
         4, "2026-12-08\t1\t2\t9.00719925474099E+15\t4\t5\t6\tnew\t", 5, 6},
        {"2026-12-08\t36x0\t1", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t-5\t1", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t1.5\t1", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t10\tlots", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t10\t1\t-1\t0", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t10\t1\t0\t2.5", false, 0, 0, 0, 0, ""},
        {"2026-12-08\t10\t1\t0\t2\t3\tx", false, 0, 0, 0, 0, ""},
        {"2026-13-08\t10\t1", false, 0, 0, 0, 0, ""},
        {"oops", false, 0, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        QDate date;
        CoverageLog::Day day;
        EXPECT_EQ(CoverageLog::parseLine(c.line, date, day), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(date, kDay) << c.line;
            EXPECT_EQ(day.monitoredMs, c.ms) << c.line;
            EXPECT_EQ(day.framesLost, c.lost) << c.line;
            EXPECT_EQ(day.unwatchedBytes, c.unwatchedBytes) << c.line;
            EXPECT_EQ(day.unwatchedFrames, c.unwatchedFrames) << c.line;
            EXPECT_EQ(day.ipv6Bytes, c.ipv6Bytes) << c.line;
            EXPECT_EQ(day.ipv6Frames, c.ipv6Frames) << c.line;
            EXPECT_EQ(CoverageLog::formatLine(date, day), QByteArray(c.written)) << c.line;
        }
    }
}

TEST(CoverageLine, WritesWholeSecondsAndKeepsUnknownFields) {
    CoverageLog::Day day;
    day.monitoredMs = 3600999;
    day.framesLost = 1234;
    EXPECT_EQ(CoverageLog::formatLine(kDay, day), QByteArray("2026-12-08\t3600\t1234\t0\t0"));
    day.unwatchedBytes = 2310000;
    day.unwatchedFrames = 1540;
    day.extra = {"later", "7"};
    EXPECT_EQ(CoverageLog::formatLine(kDay, day),
              QByteArray("2026-12-08\t3600\t1234\t2310000\t1540\t0\t0\tlater\t7"));
}

TEST(CoverageLog, LostFramesAreWrittenWithin10SecondsSecondsAtLeastEveryMinute) {
    FakeFileSystem fs;
    CoverageLog log(fs, kFolder);
    struct Step {
        int second; // seconds after 12:00:00
        bool monitoring;
        quint64 lost;
        const char* file; // the file afterwards
    };
    quint64 lostSoFar = 0;
    const Step steps[] = {
        {0, true, 0, ""},
        {1, true, 0, ""},
        {2, true, 1234, "2026-12-08\t2\t1234\t0\t0\r\n"},
        {3, false, 0, "2026-12-08\t2\t1234\t0\t0\r\n"},
        {61, true, 0, "2026-12-08\t2\t1234\t0\t0\r\n"}, // a gap of 58 s: not monitored
        {62, true, 0, "2026-12-08\t3\t1234\t0\t0\r\n"}, // a minute since the last write
        {63, true, 0, "2026-12-08\t3\t1234\t0\t0\r\n"},
        {64, true, 6, "2026-12-08\t5\t1240\t0\t0\r\n"},
        // more frames lost soon after: the session holds them, the file within 10 s
        {66, true, 4, "2026-12-08\t5\t1240\t0\t0\r\n"},
        {70, true, 0, "2026-12-08\t5\t1240\t0\t0\r\n"},
        {74, true, 0, "2026-12-08\t15\t1244\t0\t0\r\n"},
    };
    for (const Step& s : steps) {
        log.tick(at(kDay, 12, 0, 0).addSecs(s.second), kDay, s.monitoring, s.lost);
        EXPECT_EQ(fs.file(k2026), QByteArray(s.file)) << "after second " << s.second;
        // What is known at once, written or not.
        lostSoFar += s.lost;
        EXPECT_EQ(CoverageLog::readWithSession(fs, kFolder, 2026).value(kDay).framesLost, lostSoFar)
            << "after second " << s.second;
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
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-07\t86400\t0\t77\t0\r\n"
                                         "2026-12-08\t101\t6\t0\t0\r\n"
                                         "not a line\r\n"
                                         "2026-12-06\t1x\t3\r\n"));
    bool ok = false;
    const QMap<QDate, CoverageLog::Day> days = CoverageLog::read(fs, k2026, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(days.size(), 2) << "the damaged day is unknown";
    EXPECT_EQ(days.value(kDay).framesLost, 6u);
    EXPECT_EQ(days.value(QDate(2026, 12, 7)).unwatchedBytes, 77u);
}

TEST(CoverageLog, TrafficNotWatchedIsRaisedToTheBookedTotalsAndWrittenAtOnce) {
    FakeFileSystem fs;
    fs.setFile(k2026, "2026-12-08\t100\t5\t1000\t10\r\n");
    const QDate newYear(2027, 1, 1);
    CoverageLog log(fs, kFolder);
    EXPECT_EQ(log.totals(kDay).unwatchedBytes, 1000u);
    EXPECT_TRUE(log.raiseUnwatched(kDay, 2311000, 1550));
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-08\t100\t5\t2311000\t1550\r\n"));
    // The same booking again (a start finishing what a killed run began) changes nothing.
    EXPECT_TRUE(log.raiseUnwatched(kDay, 2311000, 1550));
    EXPECT_TRUE(log.raiseUnwatched(kDay, 5, 1));
    EXPECT_EQ(fs.atomicWrites(k2026), 1);
    EXPECT_TRUE(log.raiseUnwatched(newYear, 60, 1));
    EXPECT_EQ(fs.file(QStringLiteral("/logs/2027.coverage")),
              QByteArray("2027-01-01\t0\t0\t60\t1\r\n"));
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-08\t100\t5\t2311000\t1550\r\n"));
    // A year file that cannot be written keeps the booking in the session.
    fs.failWrite = [](const QString& path) { return path.endsWith(QStringLiteral(".coverage")); };
    EXPECT_FALSE(log.raiseUnwatched(newYear, 90, 2));
    EXPECT_EQ(CoverageLog::readWithSession(fs, kFolder, 2027).value(newYear).unwatchedBytes, 90u);
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
    EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-31\t1\t6\t0\t0\r\n"));
    EXPECT_EQ(fs.file(QStringLiteral("/logs/2027.coverage")),
              QByteArray("2027-01-01\t2\t3\t0\t0\r\n"));
}

TEST(CoverageLog, AKillAtAnyWriteLosesAtMostATickAndCountsNothingTwice) {
    // Every state the file system passes through is a moment the process could be killed in.
    FakeFileSystem fs;
    std::vector<std::unique_ptr<FakeFileSystem>> moments;
    fs.afterChange = [&] { moments.push_back(std::make_unique<FakeFileSystem>(fs)); };
    std::mt19937 random(14);
    quint64 lostSoFar = 0;
    struct Reported {
        quint64 lost;
        qint64 seconds;
    };
    std::vector<Reported> atWrite; // what had been reported when each write happened
    auto log = std::make_unique<CoverageLog>(fs, kFolder);
    for (int s = 0; s < 400; ++s) {
        const quint64 lost = random() % 4 == 0 ? random() % 1000 : 0;
        lostSoFar += lost;
        const size_t before = moments.size();
        log->tick(at(kDay, 10, 0, 0).addSecs(s), kDay, true, lost);
        for (size_t i = before; i < moments.size(); ++i)
            atWrite.push_back({lostSoFar, s});
    }
    log.reset(); // the end: what is left is stored, the session emptied
    atWrite.resize(moments.size(), {lostSoFar, 399});
    ASSERT_EQ(atWrite.size(), moments.size());
    ASSERT_GT(moments.size(), 400u) << "every tick changes the disk";
    for (size_t i = 0; i < moments.size(); ++i) {
        FakeFileSystem& after = *moments[i];
        after.afterChange = nullptr;
        // What a kill there leaves: the year file and the session together.
        const CoverageLog::Day stored =
            CoverageLog::readWithSession(after, kFolder, 2026).value(kDay);
        EXPECT_EQ(stored.framesLost, atWrite[i].lost) << "write " << i;
        // The next run takes what the killed one left, once: seconds up to the last tick.
        {
            CoverageLog next(after, kFolder);
            next.tick(at(kDay, 11, 0, 0), kDay, true, 7);
        }
        const CoverageLog::Day recovered = CoverageLog::read(after, k2026).value(kDay);
        EXPECT_EQ(recovered.framesLost, atWrite[i].lost + 7) << "write " << i;
        EXPECT_GE(recovered.monitoredMs, (atWrite[i].seconds - 1) * 1000) << "write " << i;
        EXPECT_LE(recovered.monitoredMs, atWrite[i].seconds * 1000) << "write " << i;
        // A start after a clean end finds the session empty.
        EXPECT_TRUE(after.file(CoverageLog::sessionFile(kFolder)).isEmpty()) << "write " << i;
    }
    EXPECT_EQ(CoverageLog::read(fs, k2026).value(kDay).framesLost, lostSoFar);
    EXPECT_EQ(CoverageLog::read(fs, k2026).value(kDay).monitoredMs, 399000);
}

TEST(CoverageLog, TheSessionGivesEachYearWhatIsAboveItsFileAndNothingTwice) {
    FakeFileSystem fs;
    const QString k2027 = QStringLiteral("/logs/2027.coverage");
    fs.setFile(k2026, "2026-12-31\t100\t5\t0\t0\r\n2026-12-30\t50\t0\t0\t0\r\n");
    fs.setFile(k2027, "2027-01-01\t10\t0\t0\t0\r\n");
    // A killed run's running totals: above the files on some fields, below on others.
    const QByteArray session = "2026-12-31\t160\t5\t7\t1\r\n"
                               "2027-01-01\t9\t3\t0\t0\r\n"
                               "damaged\r\n";
    for (int start = 0; start < 2; ++start) {
        // The second start finds the same session again (killed before it was emptied).
        fs.setFile(CoverageLog::sessionFile(kFolder), session);
        CoverageLog log(fs, kFolder);
        EXPECT_TRUE(fs.file(CoverageLog::sessionFile(kFolder)).isEmpty()) << "start " << start;
        EXPECT_EQ(fs.file(k2026), QByteArray("2026-12-30\t50\t0\t0\t0\r\n"
                                             "2026-12-31\t160\t5\t7\t1\r\n"))
            << "start " << start;
        EXPECT_EQ(fs.file(k2027), QByteArray("2027-01-01\t10\t3\t0\t0\r\n")) << "start " << start;
    }
}
} // namespace
