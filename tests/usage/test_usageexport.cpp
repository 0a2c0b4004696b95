// The stored history for scripts: what is read from a log folder (without changing it), the
// export's arguments, its JSON and CSV, and the program run with --export.
#include "platform/RealFileSystem.h"
#include "support/TestFiles.h"
#include "usage/UsageExport.h"
#include "usage/UsageHistory.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

/// A log folder as a program that ran on 7 and 8 December 2026 and in 2025 leaves it (the year
/// 2026 stored but not yet put in place, so its ready file is the newest content and holds the
/// session's figures).
struct SeededFolder {
    SeededFolder() {
        writeFile(path + "/2025.log", "2025-06-30\t1\t2\t3\t6\r\n2025-06-30\t1\t1\t1\t3\r\n");
        writeFile(path + "/2026.log", "2026-12-07\t999\t999\t0\t1998\r\n");
        writeFile(path + "/2026.log.ready",
                  "2026-12-07\t100\t200\t0\t300\r\n1x5\t1\r\n2026-12-08\t10\t20\t5\t35\r\n");
        writeFile(path + "/2026.coverage", "2026-12-08\t3600\t12\t5000\t7\r\n");
        writeFile(path + "/coverage.session", "2026-12-08\t3700\t12\t5000\t7\r\n");
        writeFile(path + "/2024.coverage", "2024-02-29\t60\t0\t42\t1\t900\t3\r\n");
        writeFile(path + "/notes.txt", "left alone\r\n");
    }
    QTemporaryDir dir;
    QString path = dir.path();
};

TEST(UsageExport, ArgumentsAreCheckedWhereTheyEnter) {
    struct Case {
        QStringList args;
        bool exports;
        const char* error; // empty: none
    };
    const Case cases[] = {
        {{}, false, ""},
        {{"-platform", "offscreen"}, false, ""},
        {{"--export=json"}, true, ""},
        {{"--export=csv", "--from=2026-01-01", "--to=2026-12-31"}, true, ""},
        {{"--export=xml"}, false, "unknown export format \"xml\" (json or csv)"},
        {{"--export"}, false, "--export needs a format"},
        {{"--export=csv", "--from=2026-02-30"}, false, "--from is not a date of the form"},
        {{"--export=csv", "--to=26-1-1"}, false, "--to is not a date of the form"},
        {{"--export=csv", "--from=2026-12-31", "--to=2026-01-01"}, false, "--from is after --to"},
        {{"--export=csv", "--verbose"}, false, "unknown argument \"--verbose\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QString error;
        EXPECT_EQ(UsageExport::fromArguments(c.args, &error).has_value(), c.exports);
        if (*c.error == '\0')
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        else
            EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
    }
}

TEST(UsageExport, EveryStoredDayAsTheProgramReadsItInJsonAndCsv) {
    SeededFolder folder;
    const QByteArray before = readFile(folder.path + "/2026.log.ready");
    RealFileSystem fs;
    const UsageHistory history = UsageHistory::read(fs, folder.path);
    EXPECT_EQ(history.unreadableLines, 1);
    const auto render = [&](UsageExport::Format format, const char* from, const char* to) {
        UsageExport::Request r;
        r.format = format;
        r.from = QDate::fromString(QString::fromLatin1(from), Qt::ISODate);
        r.to = QDate::fromString(QString::fromLatin1(to), Qt::ISODate);
        return UsageExport::render(history, r);
    };
    EXPECT_EQ(render(UsageExport::Format::Json, "", ""),
              QByteArray(
                  "{\"days\": [\n"
                  "  {\"date\": \"2024-02-29\", \"sent\": 0, \"received\": 0, \"passby\": 0, "
                  "\"total\": 0, \"secondsMonitored\": 60, \"framesLost\": 0, "
                  "\"bytesNotWatched\": 42, \"framesNotWatched\": 1, \"ipv6BytesNotCounted\": 900, "
                  "\"ipv6FramesNotCounted\": 3},\n"
                  "  {\"date\": \"2025-06-30\", \"sent\": 2, \"received\": 3, \"passby\": 4, "
                  "\"total\": 9},\n"
                  "  {\"date\": \"2026-12-07\", \"sent\": 100, \"received\": 200, "
                  "\"passby\": 0, \"total\": 300},\n"
                  "  {\"date\": \"2026-12-08\", \"sent\": 10, \"received\": 20, \"passby\": 5, "
                  "\"total\": 35, \"secondsMonitored\": 3700, \"framesLost\": 12, "
                  "\"bytesNotWatched\": 5000, \"framesNotWatched\": 7}\n"
                  "]}\n"));
    EXPECT_EQ(
        render(UsageExport::Format::Csv, "2025-01-01", "2026-12-07"),
        QByteArray("date,sent,received,passby,total,secondsMonitored,framesLost,"
                   "bytesNotWatched,framesNotWatched,ipv6BytesNotCounted,ipv6FramesNotCounted\n"
                   "2025-06-30,2,3,4,9,,,,,,\n"
                   "2026-12-07,100,200,0,300,,,,,,\n"));
    EXPECT_EQ(render(UsageExport::Format::Json, "2027-01-01", ""), QByteArray("{\"days\": []}\n"));

    // With a data plan, JSON ends with its period's received and sent bytes (of every stored
    // day, whatever the dates asked for); CSV stays the days only.
    const struct {
        qint64 allowance;
        int startDay;
        const char* plan; // null: none
    } plans[] = {
        {1000, 8, "\"plan\": {\"allowance\": 1000, \"periodStart\": \"2026-12-08\", \"used\": 30}"},
        {1000, 1,
         "\"plan\": {\"allowance\": 1000, \"periodStart\": \"2026-12-01\", \"used\": 330}"},
        {1000, 10,
         "\"plan\": {\"allowance\": 1000, \"periodStart\": \"2026-11-10\", \"used\": 330}"},
        {0, 1, nullptr},
        {-5, 1, nullptr},
    };
    for (const auto& p : plans) {
        const auto plan = UsageExport::planOf(history, p.allowance, p.startDay, {2026, 12, 9});
        ASSERT_EQ(plan.has_value(), p.plan != nullptr) << p.allowance;
        UsageExport::Request r;
        r.from = QDate(2027, 1, 1);
        EXPECT_EQ(UsageExport::render(history, r, plan),
                  p.plan ? "{\"days\": [], " + QByteArray(p.plan) + "}\n" : "{\"days\": []}\n");
        r.format = UsageExport::Format::Csv;
        EXPECT_EQ(UsageExport::render(history, r, plan),
                  render(UsageExport::Format::Csv, "2027-01-01", ""));
    }

    // A session of a year without a stored-but-not-placed file is today's running figures.
    writeFile(folder.path + "/_session.log", "2025-07-01\t1\t1\t0\t2\r\n");
    const UsageHistory withSession = UsageHistory::read(fs, folder.path);
    ASSERT_EQ(withSession.days.size(), 5);
    EXPECT_EQ(withSession.days[2].date, QDate(2025, 7, 1));
    EXPECT_EQ(withSession.days[2].total, 2);
    // Nothing was written or created.
    EXPECT_EQ(readFile(folder.path + "/2026.log.ready"), before);
    EXPECT_EQ(QDir(folder.path).entryList(QDir::Files).size(), 8);
}

TEST(UsageExport, TheProgramPrintsItWithoutADisplayAndRefusesBadArguments) {
    SeededFolder folder;
    QTemporaryDir program;
    const QString binary = program.path() + "/quelmint";
    ASSERT_TRUE(QFile::copy(qEnvironmentVariable("QUELMINT_BUILD_DIR") + "/app/quelmint", binary));
    QFile::setPermissions(binary, QFile::permissions(binary) | QFileDevice::ExeOwner);
    ASSERT_TRUE(QDir().rename(folder.path, program.path() + "/Usage Logs"));
    const auto run = [&](const QStringList& args, QByteArray* out, QByteArray* err) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), program.path() + "/config");
        p.setProcessEnvironment(env);
        p.start(binary, args);
        p.waitForFinished(30000);
        *out = p.readAllStandardOutput();
        *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QByteArray out, err;
    EXPECT_EQ(run({"--export=csv", "--from=2026-12-08"}, &out, &err), 0);
    EXPECT_EQ(out, QByteArray(
                       "date,sent,received,passby,total,secondsMonitored,framesLost,"
                       "bytesNotWatched,framesNotWatched,ipv6BytesNotCounted,ipv6FramesNotCounted\n"
                       "2026-12-08,10,20,5,35,3700,12,5000,7,,\n"));
    EXPECT_EQ(err,
              QByteArray("quelmint: left out 1 line of the usage log that could not be read\n"));
    EXPECT_EQ(run({"--export=yaml"}, &out, &err), 2);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(err, QByteArray("quelmint: unknown export format \"yaml\" (json or csv)\n"));

    // The data plan of the user's settings, in the period holding today.
    ASSERT_TRUE(QDir().mkpath(program.path() + "/config/Quelmint"));
    writeFile(program.path() + "/config/Quelmint/Quelmint.conf",
              "[settings]\nPlanAllowance=1073741824\nPlanStartDay=1\n");
    EXPECT_EQ(run({"--export=json", "--from=2030-01-01"}, &out, &err), 0);
    const QDate today = QDate::currentDate();
    EXPECT_TRUE(out.startsWith(
        "{\"days\": [], \"plan\": {\"allowance\": 1073741824, \"periodStart\": \"" +
        QDate(today.year(), today.month(), 1).toString(Qt::ISODate).toLatin1() + "\", \"used\": "))
        << out.toStdString();
}

} // namespace
