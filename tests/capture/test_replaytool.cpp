// The replay tool end to end: totals of a synthetic capture, repeats, modes and bad input.

#include "support/FrameBuilder.h"
#include "support/Skip.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString tool(const char* name) {
    return qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/bench/") +
           QString::fromLatin1(name);
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
};

ToolRun run(const char* name, const QStringList& args) {
    QProcess p;
    p.start(tool(name), args);
    ToolRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

double field(const QJsonObject& o, const char* row, const char* column) {
    return o.value(QLatin1String(row)).toObject().value(QLatin1String(column)).toDouble(-1);
}

class ReplayTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(tool("quelmint-replay")) || !QFile::exists(tool("quelmint-mkpcap")))
            SKIP_OR_FAIL("bench tools not built");
        ASSERT_TRUE(dir.isValid());
        small = dir.filePath(QStringLiteral("small.pcap"));
        ASSERT_EQ(run("quelmint-mkpcap", {"--count", "1000", small}).exitCode, 0);
    }
    QTemporaryDir dir;
    QString small;
};

TEST_F(ReplayTool, TotalsOfSmallFrames) {
    struct Case {
        QStringList args;
        double sent, received, passthru, packets, frames;
    };
    const Case cases[] = {
        {{"--local", "10.0.0.1"}, 500 * 60, 500 * 60, 0, 1000, 1000},
        {{"--local", "10.0.0.2", "--repeat", "3"}, 1500 * 60, 1500 * 60, 0, 3000, 3000},
        {{"--local", "10.0.0.1", "--preload", "--repeat", "2"},
         1000 * 60,
         1000 * 60,
         0,
         2000,
         2000},
        {{}, 0, 0, 1000 * 60, 1000, 1000},
        {{"--local", "192.168.1.1", "--local", "10.0.0.1"}, 500 * 60, 500 * 60, 0, 1000, 1000},
        {{"--noop", "--local", "10.0.0.1"}, 0, 0, 0, 0, 1000},
    };
    for (const Case& c : cases) {
        const ToolRun r = run("quelmint-replay", c.args + QStringList{small});
        ASSERT_EQ(r.exitCode, 0) << r.err.data();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.data();
        EXPECT_EQ(r.out.count('\n'), 1) << "one JSON line";
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(r.out, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.data();
        const QString what = c.args.join(' ');
        EXPECT_EQ(field(o, "sent", "transfer"), c.sent) << what.toStdString();
        EXPECT_EQ(field(o, "sent", "headers"), c.sent) << what.toStdString();
        EXPECT_EQ(field(o, "sent", "data"), 0) << what.toStdString();
        EXPECT_EQ(field(o, "received", "transfer"), c.received) << what.toStdString();
        EXPECT_EQ(field(o, "passthru", "transfer"), c.passthru) << what.toStdString();
        EXPECT_EQ(field(o, "total", "transfer"), c.sent + c.received + c.passthru);
        EXPECT_EQ(o.value(QLatin1String("packetCount")).toDouble(), c.packets);
        EXPECT_EQ(o.value(QLatin1String("frames")).toDouble(), c.frames);
        EXPECT_GE(o.value(QLatin1String("seconds")).toDouble(), 0.0);
        EXPECT_GT(o.value(QLatin1String("framesPerSecond")).toDouble(), 0.0);
        // Keys in the documented order.
        EXPECT_TRUE(r.out.startsWith("{\"received\": {\"transfer\": ")) << r.out.data();
        EXPECT_LT(r.out.indexOf("\"passthru\""), r.out.indexOf("\"total\""));
        EXPECT_LT(r.out.indexOf("\"frames\""), r.out.indexOf("\"seconds\""));
    }
}

TEST_F(ReplayTool, BadInputGivesAMessageAndAnExitStatus) {
    QFile in(small);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray whole = in.readAll();
    const QString damaged = dir.filePath(QStringLiteral("damaged.pcap"));
    const QString text = dir.filePath(QStringLiteral("text.pcap"));
    const QString unreadable = dir.filePath(QStringLiteral("user0.pcap"));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(whole.left(24 + 76 * 10 + 9)); // ten frames and part of a record header
        QFile t(text);
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write("not a capture\n");
        QByteArray raw = whole.left(24 + 76);
        raw[20] = char(147); // link type: a private one (DLT_USER0)
        QFile n(unreadable);
        ASSERT_TRUE(n.open(QIODevice::WriteOnly));
        n.write(raw);
    }
    struct Case {
        QStringList args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{damaged}, 1, "after 10 frames"},
        {{text}, 1, "Cannot read"},
        {{dir.filePath(QStringLiteral("missing.pcap"))}, 1, "Cannot read"},
        {{unreadable}, 1, "not a capture of a link type Quelmint reads (link type 147)"},
        {{"--local", "10.0.0", small}, 2, "not an IPv4 or IPv6 address"},
        {{"--local", "fd00::1::2", small}, 2, "not an IPv4 or IPv6 address"},
        {{"--repeat", "0", small}, 2, "--repeat"},
        {{}, 2, "one capture file"},
        {{"--bogus", small}, 2, "bogus"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run("quelmint-replay", c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.data();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.data();
    }
}

} // namespace

namespace {

/// "from:srcPort>to:destPort data type packets" of each listed entry.
QStringList entriesOf(const QJsonObject& o) {
    QStringList entries;
    const QJsonArray list = o.value(QLatin1String("connections")).toArray();
    for (const QJsonValue& v : list) {
        const QJsonObject e = v.toObject();
        entries << QStringLiteral("%1:%2>%3:%4 %5 %6 %7")
                       .arg(e.value(QLatin1String("from")).toString())
                       .arg(e.value(QLatin1String("srcPort")).toInt(-1))
                       .arg(e.value(QLatin1String("to")).toString())
                       .arg(e.value(QLatin1String("destPort")).toInt(-1))
                       .arg(e.value(QLatin1String("data")).toDouble(-1))
                       .arg(e.value(QLatin1String("type")).toString())
                       .arg(e.value(QLatin1String("packets")).toDouble(-1));
    }
    return entries;
}

} // namespace

TEST_F(ReplayTool, ConnectionsListEachDirectedPairInOrder) {
    struct Case {
        QStringList args;
        QStringList entries;
    };
    const Case cases[] = {
        {{"--connections"},
         {"10.0.0.1:40000>10.0.0.2:80 0 TCP 500", "10.0.0.2:40000>10.0.0.1:80 0 TCP 500"}},
        {{"--connections", "--repeat", "3", "--local", "10.0.0.2"},
         {"10.0.0.1:40000>10.0.0.2:80 0 TCP 1500", "10.0.0.2:40000>10.0.0.1:80 0 TCP 1500"}},
        {{"--connections", "--preload"},
         {"10.0.0.1:40000>10.0.0.2:80 0 TCP 500", "10.0.0.2:40000>10.0.0.1:80 0 TCP 500"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        const ToolRun r = run("quelmint-replay", c.args + QStringList{small});
        ASSERT_EQ(r.exitCode, 0) << r.err.data();
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        EXPECT_EQ(o.contains(QLatin1String("connections")), !c.entries.isEmpty());
        EXPECT_EQ(entriesOf(o), c.entries) << c.args.join(' ').toStdString();
        EXPECT_EQ(field(o, "total", "transfer"), 60000.0 * (c.args.contains("3") ? 3 : 1));
    }
}

TEST_F(ReplayTool, PortScanListsEveryKey) {
    if (!QFile::exists(tool("quelmint-mkscan")))
        GTEST_SKIP() << "quelmint-mkscan not built";
    const QString scan = dir.filePath(QStringLiteral("scan.pcap"));
    ASSERT_EQ(run("quelmint-mkscan", {"--count", "150000", "--keys", "60000", scan}).exitCode, 0);
    const ToolRun r = run("quelmint-replay", {"--connections", scan});
    ASSERT_EQ(r.exitCode, 0) << r.err.data();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QStringList entries = entriesOf(o);
    ASSERT_EQ(entries.size(), 60000);
    // Keys 0..29999 came three times, the rest twice; destinations 10.0.0.1 ports 1..50000,
    // then 10.0.0.2 ports 1..10000.
    EXPECT_EQ(entries.first(), "10.9.0.1:40000>10.0.0.1:1 0 TCP 3");
    EXPECT_EQ(entries[29999], "10.9.0.1:40000>10.0.0.1:30000 0 TCP 3");
    EXPECT_EQ(entries[30000], "10.9.0.1:40000>10.0.0.1:30001 0 TCP 2");
    EXPECT_EQ(entries[49999], "10.9.0.1:40000>10.0.0.1:50000 0 TCP 2");
    EXPECT_EQ(entries[50000], "10.9.0.1:40000>10.0.0.2:1 0 TCP 2");
    EXPECT_EQ(entries.last(), "10.9.0.1:40000>10.0.0.2:10000 0 TCP 2");
    EXPECT_EQ(QSet<QString>(entries.begin(), entries.end()).size(), 60000);
    EXPECT_EQ(o.value(QLatin1String("packetCount")).toDouble(), 150000.0);
}

namespace {

/// A classic pcap file (Ethernet) of these frames.
QByteArray pcapOf(const QList<QByteArray>& frames) {
    const auto le32 = [](quint32 v) {
        return QByteArray(1, char(v)) + char(v >> 8) + char(v >> 16) + char(v >> 24);
    };
    QByteArray file = QByteArray::fromHex("d4c3b2a1"
                                          "0200"
                                          "0400") +
                      le32(0) + le32(0) + le32(65535) + le32(1);
    for (const QByteArray& f : frames)
        file += le32(1) + le32(0) + le32(quint32(f.size())) + le32(quint32(f.size())) + f;
    return file;
}

} // namespace

TEST_F(ReplayTool, Ipv6IsNotedUnlessCountedThenListedWithItsShortText) {
    const QByteArray v6 = FrameBuilder::ipv6("fd00:77::1", "2001:db8::9", 20);
    const QByteArray v4 = FrameBuilder::udp(0x0A000009, 0x0A00000A, 20);
    const QString path = dir.filePath(QStringLiteral("mixed.pcap"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pcapOf({v6, v4, v6}));
    f.close();
    const double six = 2.0 * v6.size(), four = v4.size();
    const struct {
        QStringList args;
        double sent, passthru;
        bool noted; // "ipv6NotCounted" is there
    } cases[] = {
        {{"--local", "fd00:77::1"}, 0, four, true},
        {{"--ipv6", "--local", "FD00:77:0::1", "--connections"}, six, four, false},
        {{"--ipv6"}, 0, six + four, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun r = run("quelmint-replay", c.args + QStringList{path});
        ASSERT_EQ(r.exitCode, 0) << r.err.data();
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        EXPECT_EQ(field(o, "sent", "transfer"), c.sent);
        EXPECT_EQ(field(o, "passthru", "transfer"), c.passthru);
        EXPECT_EQ(o.contains(QLatin1String("ipv6NotCounted")), c.noted) << r.out.data();
        if (c.noted) {
            EXPECT_EQ(field(o, "ipv6NotCounted", "frames"), 2.0);
            EXPECT_EQ(field(o, "ipv6NotCounted", "bytes"), six);
        }
        if (!c.args.contains(QStringLiteral("--connections")))
            continue;
        QStringList rows;
        for (const QJsonValue& v : o.value(QLatin1String("connections")).toArray())
            rows << v.toObject().value(QLatin1String("from")).toString() + u'>' +
                        v.toObject().value(QLatin1String("to")).toString();
        EXPECT_EQ(rows, QStringList({"fd00:77::1>2001:db8::9", "10.0.0.9>10.0.0.10"}));
    }
}
