#include "support/TestFiles.h"

#include <QDate>
#include <QFile>
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

/// Sums the amounts of every line of a year file whose day lies in [first, last]; false when a
/// line holds another day or is not a record.
bool sumLines(const QByteArray& content, QDate first, QDate last, double sums[4]) {
    for (const QByteArray& line : content.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> f = line.trimmed().split('\t');
        const QDate day = QDate::fromString(QString::fromLatin1(f[0]), Qt::ISODate);
        if (f.size() != 5 || day < first || day > last)
            return false;
        for (int i = 0; i < 4; ++i)
            sums[i] += f[i + 1].toDouble();
    }
    return true;
}

} // namespace

/// The replay tool with --log-folder: every frame on today's date, committed at the end, the
/// folder kept; two replays on one day leave one line with the sums.
TEST(UsageReplay, TwoReplaysOnOneDayLeaveOneLineWithTheSums) {
    QTemporaryDir dir;
    const QString capture = dir.path() + "/mixed.pcap";
    const QString folder = dir.path() + "/logs";
    // One cycle of the mixed traffic, seen from 10.0.0.1. Upload: a GET request (110 bytes),
    // two ACKs padded to 60, a POST (101), a UDP datagram (72), an ICMP echo (98) and an IGMP
    // report padded to 60: 561 bytes. Download: a response (1511), six full segments (1514
    // each), a UDP datagram (162), an ICMP reply (98) and an offloaded segment (65054): 75909.
    // Pass-by: TCP (654) and UDP (242) between two other hosts: 896. GRE, ARP and IPv6 are not
    // counted.
    run(QStringLiteral(QUELMINT_MKPCAP), {"--count", "22", "--mixed", capture});
    const QDate firstDay = QDate::currentDate();
    for (int i = 0; i < 2; ++i) {
        const QByteArray out = run(QStringLiteral(QUELMINT_REPLAY),
                                   {"--local", "10.0.0.1", "--log-folder", folder, capture});
        ASSERT_FALSE(out.isEmpty());
    }
    const QDate lastDay = QDate::currentDate();
    QByteArray content = readFile(folder + QStringLiteral("/%1.log").arg(firstDay.year()));
    if (lastDay != firstDay) {
        // Midnight passed during the replays: the figures may be split over two days.
        if (lastDay.year() != firstDay.year())
            content += readFile(folder + QStringLiteral("/%1.log").arg(lastDay.year()));
    } else {
        EXPECT_EQ(content.count('\n'), 1) << content.constData();
    }
    EXPECT_TRUE(content.endsWith("\r\n"));
    double sums[4] = {0, 0, 0, 0}; // sent, received, pass-by, total
    ASSERT_TRUE(sumLines(content, firstDay, lastDay, sums)) << content.constData();
    EXPECT_EQ(sums[0], 2 * 561.0);
    EXPECT_EQ(sums[1], 2 * 75909.0);
    EXPECT_EQ(sums[2], 2 * 896.0);
    EXPECT_EQ(sums[3], 2 * 77366.0);
    EXPECT_FALSE(QFile::exists(folder + "/_session.log"));
}
