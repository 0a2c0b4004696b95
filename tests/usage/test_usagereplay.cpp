#include "support/TestFiles.h"

#include <QDate>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    return p.readAllStandardOutput();
}

double transfer(const QJsonObject& o, const char* row) {
    return o.value(QLatin1String(row)).toObject().value("transfer").toDouble();
}

} // namespace

/// The replay tool with --log-folder: every frame on today's date, committed at the end, the
/// folder kept; two replays on one day leave one line with the sums.
TEST(UsageReplay, TwoReplaysOnOneDayLeaveOneLineWithTheSums) {
    QTemporaryDir dir;
    const QString capture = dir.path() + "/mixed.pcap";
    const QString folder = dir.path() + "/logs";
    run(QStringLiteral(QUELMINT_MKPCAP), {"--count", "5000", "--mixed", capture});
    QJsonObject totals;
    for (int i = 0; i < 2; ++i) {
        const QByteArray out = run(QStringLiteral(QUELMINT_REPLAY),
                                   {"--local", "10.0.0.1", "--log-folder", folder, capture});
        totals = QJsonDocument::fromJson(out).object();
        ASSERT_FALSE(totals.isEmpty()) << out.constData();
    }
    const QDate today = QDate::currentDate();
    const QByteArray expected =
        today.toString(Qt::ISODate).toLatin1() + '\t' +
        QByteArray::number(2 * transfer(totals, "sent"), 'f', 0) + '\t' +
        QByteArray::number(2 * transfer(totals, "received"), 'f', 0) + '\t' +
        QByteArray::number(2 * transfer(totals, "passthru"), 'f', 0) + '\t' +
        QByteArray::number(2 * transfer(totals, "total"), 'f', 0) + "\r\n";
    EXPECT_EQ(readFile(folder + QStringLiteral("/%1.log").arg(today.year())), expected);
    EXPECT_GT(transfer(totals, "total"), 0);
    EXPECT_FALSE(QFile::exists(folder + "/_session.log"));
}
