// Records real HTTP, UDP and ICMP traffic between two network namespaces with tcpdump, replays
// the file through the frame handler (and the replay tool) and checks every total against what
// tshark's dissection of the same file gives.

#include "capture/FrameHandler.h"
#include "platform/PcapFileSource.h"
#include "support/NetnsPair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

/// Totals computed independently from tshark's fields.
struct Expected {
    TrafficCounters counters;
    double packets = 0;
    int httpRequests = 0, httpResponses = 0, posts = 0, udp = 0, icmp = 0, notIpv4 = 0;
    int offloaded = 0; ///< frames longer than an Ethernet MTU (segmentation offload)
    /// Requests of a method without body whose segment goes on after the blank line.
    int bytesAfterBlankLine = 0;
    int padded = 0;  ///< frames with bytes after the IP datagram
    int damaged = 0; ///< IPv4 frames whose total length ends inside the IP header
    /// The packet list per directed pair in order of first appearance:
    /// "from:srcPort>to:destPort data type packets".
    QStringList connections;
};

/// One directed pair of the packet list, as tallied from tshark's fields.
struct Pair {
    QString key, type;
    qint64 data = 0, packets = 0;
};

/// HTTP header bytes at the start of a TCP payload: request lines of GET, HEAD, TRACE,
/// OPTIONS and DELETE make the whole payload header; responses, POST and PUT end at the first
/// LF CR LF, else the first LF LF, else the whole payload.
qint64 httpHeaderOf(const QByteArray& payload) {
    bool toBlankLine = false;
    if (payload.startsWith("HTTP/") || payload.startsWith("POST ") || payload.startsWith("PUT "))
        toBlankLine = true;
    else if (payload.startsWith("GET ") || payload.startsWith("HEAD ") ||
             payload.startsWith("TRACE ") || payload.startsWith("OPTIONS ") ||
             payload.startsWith("DELETE "))
        return payload.size();
    if (!toBlankLine)
        return 0;
    qsizetype at = payload.indexOf("\n\r\n");
    if (at >= 0)
        return at + 3;
    at = payload.indexOf("\n\n");
    if (at >= 0)
        return at + 2;
    return payload.size();
}

/// The frames of a pcap file as recorded (classic format, either byte order), for the few
/// fields tshark leaves empty: the ports behind a later fragment or a damaged IP header.
QList<QByteArray> framesOf(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = in.readAll();
    if (all.size() < 24)
        return {};
    const auto u32 = [&](qsizetype at) {
        const auto* p = reinterpret_cast<const unsigned char*>(all.constData() + at);
        const quint32 little =
            quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        const quint32 big =
            quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
        const bool swapped =
            all.startsWith("\xa1\xb2\xc3\xd4") || all.startsWith("\xa1\xb2\x3c\x4d");
        return swapped ? big : little;
    };
    QList<QByteArray> frames;
    for (qsizetype at = 24; at + 16 <= all.size();) {
        const qsizetype captured = u32(at + 8);
        at += 16;
        if (at + captured > all.size())
            break;
        frames.append(all.mid(at, captured));
        at += captured;
    }
    return frames;
}

Expected fromTshark(const QString& file, const QString& localAddress, QString* error) {
    Expected e;
    const QList<QByteArray> raw = framesOf(file);
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"), {"-r",
                                            file,
                                            "-n",
                                            "-o",
                                            "ip.defragment:FALSE",
                                            "-E",
                                            "occurrence=f",
                                            "-E",
                                            "separator=;",
                                            "-T",
                                            "fields",
                                            "-e",
                                            "frame.len",
                                            "-e",
                                            "ip.version",
                                            "-e",
                                            "ip.hdr_len",
                                            "-e",
                                            "ip.len",
                                            "-e",
                                            "ip.proto",
                                            "-e",
                                            "ip.src",
                                            "-e",
                                            "ip.dst",
                                            "-e",
                                            "tcp.hdr_len",
                                            "-e",
                                            "udp.length",
                                            "-e",
                                            "tcp.payload",
                                            "-e",
                                            "frame.cap_len",
                                            "-e",
                                            "tcp.srcport",
                                            "-e",
                                            "tcp.dstport",
                                            "-e",
                                            "udp.srcport",
                                            "-e",
                                            "udp.dstport",
                                            "-e",
                                            "data.data"});
    if (!tshark.waitForFinished(60000) || tshark.exitCode() != 0) {
        *error = QString::fromLocal8Bit(tshark.readAllStandardError());
        return e;
    }
    const QList<QByteArray> lines = tshark.readAllStandardOutput().split('\n');
    QList<Pair> pairs;
    QHash<QString, int> pairIndex;
    qsizetype frameIndex = -1;
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        ++frameIndex;
        const QByteArray frame = raw.value(frameIndex);
        const QList<QByteArray> f = line.split(';');
        if (f.size() < 16) {
            *error = QStringLiteral("unexpected tshark line: ") + QString::fromLatin1(line);
            return e;
        }
        const qint64 length = f[0].toLongLong();
        if (f[1] != "4") {
            ++e.notIpv4;
            continue;
        }
        const qint64 ihl = f[2].toLongLong();
        const qint64 total = f[3].toLongLong();
        // tshark stops at a total length below the header length: the protocol and addresses
        // are read from the frame itself then.
        int protocol = f[4].toInt();
        if (f[4].isEmpty())
            protocol = frame.size() > 14 + 9 ? quint8(frame[14 + 9]) : -1;
        if (f[4].isEmpty())
            ++e.damaged;
        // Frames too short for their transport header are dropped. Fragments after the first
        // are taken as if a transport header followed the IP header, whatever they hold.
        const qint64 captured = f[10].toLongLong();
        if ((protocol == 6 && captured < 14 + ihl + 20) ||
            (protocol == 17 && captured < 14 + ihl + 8))
            continue;
        const qint64 padding = (total >= ihl && total <= length - 14) ? length - 14 - total : 0;
        e.padded += padding > 0 ? 1 : 0;
        qint64 transport = 0, http = 0;
        if (protocol == 6) {
            if (f[7].isEmpty()) {
                *error =
                    QStringLiteral("a TCP fragment in the recording: ") + QString::fromLatin1(line);
                return e;
            }
            transport = f[7].toLongLong();
            const QByteArray payload = QByteArray::fromHex(f[9]);
            http = httpHeaderOf(payload);
            e.httpRequests += payload.startsWith("GET ") || payload.startsWith("HEAD ") ? 1 : 0;
            e.httpResponses += payload.startsWith("HTTP/") ? 1 : 0;
            e.posts += payload.startsWith("POST ") ? 1 : 0;
            if (payload.startsWith("HEAD ") || payload.startsWith("OPTIONS ") ||
                payload.startsWith("DELETE ")) {
                const qsizetype blank = payload.indexOf("\r\n\r\n");
                e.bytesAfterBlankLine += blank >= 0 && blank + 4 < payload.size() ? 1 : 0;
            }
        } else if (protocol == 17) {
            transport = 8;
            ++e.udp;
        } else if (protocol == 1 || protocol == 2) {
            transport = std::max<qint64>(length - padding - 14 - ihl, 0);
            e.icmp += protocol == 1 ? 1 : 0;
        }
        if (length > 1514)
            ++e.offloaded;
        if (protocol != 1 && protocol != 2 && protocol != 6 && protocol != 17)
            continue; // never counted
        const qint64 headers = std::min(length, 14 + ihl + transport + http + padding);
        const auto addressAt = [&](int at) {
            const QByteArray a = frame.mid(14 + at, 4);
            return a.size() < 4 ? QString()
                                : QStringLiteral("%1.%2.%3.%4")
                                      .arg(quint8(a[0]))
                                      .arg(quint8(a[1]))
                                      .arg(quint8(a[2]))
                                      .arg(quint8(a[3]));
        };
        const QString src = f[5].isEmpty() ? addressAt(12) : QString::fromLatin1(f[5]);
        const QString dst = f[6].isEmpty() ? addressAt(16) : QString::fromLatin1(f[6]);
        const Direction d = src == localAddress   ? Direction::Upload
                            : dst == localAddress ? Direction::Download
                                                  : Direction::Passby;
        e.counters.add(d, double(length), double(length - headers), double(headers));
        e.packets += 1;
        // Ports of TCP and UDP only (an ICMP error quoting a UDP header has none).
        QByteArray srcPort = protocol == 6 ? f[11] : protocol == 17 ? f[13] : "0";
        QByteArray dstPort = protocol == 6 ? f[12] : protocol == 17 ? f[14] : "0";
        if (protocol == 17 && srcPort.isEmpty()) {
            // A later fragment or a damaged IP header: the first bytes behind the IP header
            // are read as if they were the UDP header.
            const QByteArray udp = frame.mid(14 + ihl, 4);
            if (udp.size() == 4) {
                srcPort = QByteArray::number((quint8(udp[0]) << 8) | quint8(udp[1]));
                dstPort = QByteArray::number((quint8(udp[2]) << 8) | quint8(udp[3]));
            }
        }
        const QString key =
            QStringLiteral("%1:%2>%3:%4")
                .arg(src, QString::fromLatin1(srcPort), dst, QString::fromLatin1(dstPort));
        auto at = pairIndex.find(key);
        if (at == pairIndex.end()) {
            at = pairIndex.insert(key, int(pairs.size()));
            const char* types[] = {"", "ICMP", "IGMP", "", "", "", "TCP"};
            const char* type = protocol == 17 ? "UDP" : types[protocol];
            pairs.append({key, QString::fromLatin1(type), 0, 0});
        }
        pairs[*at].data += length - headers;
        pairs[*at].packets += 1;
    }
    for (const Pair& p : pairs)
        e.connections
            << QStringLiteral("%1 %2 %3 %4").arg(p.key).arg(p.data).arg(p.type).arg(p.packets);
    return e;
}

bool have(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

/// Waits until a process has printed `text` on stderr.
bool waitForStderr(QProcess& p, const QByteArray& text, int timeoutMs, QByteArray* seen) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        p.waitForReadyRead(100);
        *seen += p.readAllStandardError();
        if (seen->contains(text))
            return true;
        if (p.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

/// Waits until tcpdump has written the datagram to UDP port 9998 that ends a recording.
bool waitForMarker(const QString& file) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 15000) {
        QProcess reader;
        reader.start(QStringLiteral("tcpdump"), {"-n", "-r", file, "udp dst port 9998"});
        reader.waitForFinished(10000);
        if (!reader.readAllStandardOutput().trimmed().isEmpty())
            return true;
        QThread::msleep(50);
    }
    return false;
}

/// The frame handler's totals against the independent tally, cell by cell.
void expectSameCounters(const FrameHandler& frames, const Expected& e) {
    const char* rows[] = {"received", "sent", "passthru", "total"};
    const char* columns[] = {"transfer", "data", "headers"};
    for (int r = 0; r < TrafficCounters::kRows; ++r)
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            const auto row = TrafficCounters::Row(r);
            const auto column = TrafficCounters::Column(c);
            EXPECT_EQ(frames.counters.value(row, column), e.counters.value(row, column))
                << rows[r] << " " << columns[c];
        }
    EXPECT_EQ(frames.packetCount, e.packets);
}

/// Reads the capture file through the frame handler, as the program would count it on the
/// adapter that holds `localAddress`, and checks its counters against the tally.
void countThroughHandler(FrameHandler& frames, const QString& file, const QString& localAddress,
                         const Expected& e) {
    frames.setLocalAddresses({localAddress});
    PcapFileSource source(file);
    ASSERT_EQ(source.linkType(), 1);
    source.deliverAll(frames);
    expectSameCounters(frames, e);
}

class RealTraffic : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_NETNS("tcpdump", "tshark", "python3", "curl"); }
};

TEST_F(RealTraffic, ReplayAgreesWithTshark) {
    NetnsPair pair(QStringLiteral("fp"), 20);
    ASSERT_TRUE(pair.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString www = dir.filePath(QStringLiteral("www"));
    ASSERT_TRUE(QDir().mkpath(www));
    {
        QFile big(www + QStringLiteral("/big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        QByteArray body(300000, '\0');
        quint32 x = 12345;
        for (char& c : body) {
            x = x * 1103515245u + 12345u;
            c = char(x >> 24);
        }
        big.write(body);
        QFile small(www + QStringLiteral("/small.txt"));
        ASSERT_TRUE(small.open(QIODevice::WriteOnly));
        small.write("hello\n");
    }
    const QString file = dir.filePath(QStringLiteral("traffic.pcap"));
    const QString url = QStringLiteral("http://%1:8080/").arg(pair.addressB());

    // Recorder in A, web server in B.
    QProcess tcpdump;
    tcpdump.start(QStringLiteral("ip"), {"netns", "exec", pair.nsA(), "tcpdump", "-i", pair.nameA(),
                                         "-s", "0", "-U", "--immediate-mode", "-n", "-w", file});
    QByteArray tcpdumpLog;
    ASSERT_TRUE(waitForStderr(tcpdump, "listening on", 15000, &tcpdumpLog)) << tcpdumpLog.data();
    QProcess server;
    server.setWorkingDirectory(www);
    server.start(QStringLiteral("ip"), {"netns", "exec", pair.nsB(), "python3", "-m", "http.server",
                                        "--bind", pair.addressB(), "8080"});
    ASSERT_TRUE(server.waitForStarted(5000));
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        up = pair.runInA({"curl", "-s", "-o", "/dev/null", "-f", url + "small.txt"}, 5000) == 0;
        if (!up)
            QThread::msleep(100);
    }
    ASSERT_TRUE(up) << "web server did not answer";

    // HTTP: GET with a large body, GET, HEAD, POST with a body (answered 501).
    EXPECT_EQ(pair.runInA({"curl", "-s", "-o", "/dev/null", "-f", url + "big.bin"}), 0);
    EXPECT_EQ(pair.runInA({"curl", "-s", "-o", "/dev/null", "-f", url + "small.txt"}), 0);
    EXPECT_EQ(pair.runInA({"curl", "-s", "-o", "/dev/null", "-I", url + "small.txt"}), 0);
    EXPECT_EQ(pair.runInA({"curl", "-s", "-o", "/dev/null", "-H", "Expect:", "--data-binary",
                           QString(3000, QLatin1Char('p')), url + "form"}),
              0);
    // Requests without a body whose segment goes on after the blank line: a body sent anyway,
    // a second request pipelined behind the first. Each request leaves in one segment.
    EXPECT_EQ(
        pair.runInA({"python3", "-c",
                     QStringLiteral("import socket\n"
                                    "for r in (b'DELETE /small.txt HTTP/1.1\\r\\nHost: b\\r\\n"
                                    "Content-Length: 5\\r\\n\\r\\nhello',\n"
                                    "          b'OPTIONS * HTTP/1.1\\r\\nHost: b\\r\\n"
                                    "Content-Length: 3\\r\\n\\r\\nabc',\n"
                                    "          b'HEAD /small.txt HTTP/1.1\\r\\nHost: b\\r\\n\\r\\n"
                                    "GET /small.txt HTTP/1.1\\r\\nHost: b\\r\\n\\r\\n'):\n"
                                    "    s = socket.create_connection(('%1', 8080), timeout=10)\n"
                                    "    s.sendall(r)\n"
                                    "    try:\n"
                                    "        while s.recv(65536):\n"
                                    "            pass\n"
                                    "    except OSError:\n"
                                    "        pass\n"
                                    "    s.close()\n")
                         .arg(pair.addressB())}),
        0);
    // UDP datagrams (answered by ICMP port unreachable) and ICMP echo.
    EXPECT_EQ(pair.runInA({"python3", "-c",
                           QStringLiteral("import socket\n"
                                          "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                          "for n in (1, 18, 100, 1400, 3000):\n"
                                          "    s.sendto(b'u' * n, ('%1', 9999))\n")
                               .arg(pair.addressB())}),
              0);
    if (have("ping")) {
        EXPECT_EQ(pair.runInA({"ping", "-c", "3", "-i", "0.2", "-s", "1000", pair.addressB()}), 0);
    } else {
        EXPECT_EQ(
            pair.runInA(
                {"python3", "-c",
                 QStringLiteral("import socket, struct\n"
                                "s = socket.socket(socket.AF_INET, socket.SOCK_RAW, 1)\n"
                                "s.settimeout(2)\n"
                                "for seq in range(3):\n"
                                "    body = struct.pack('!HH', 7, seq) + b'i' * 56\n"
                                "    c = sum(struct.unpack('!%dH' % ((len(body) + 4) // 2), "
                                "b'\\x08\\x00\\x00\\x00' + body))\n"
                                "    c = (c >> 16) + (c & 0xffff); c = ~(c + (c >> 16)) & 0xffff\n"
                                "    s.sendto(struct.pack('!BBH', 8, 0, c) + body, ('%1', 0))\n"
                                "    s.recv(2048)\n")
                     .arg(pair.addressB())}),
            0);
    }
    // A last datagram marks the end: once tcpdump has written it, the traffic above is in.
    EXPECT_EQ(pair.runInA({"python3", "-c",
                           QStringLiteral("import socket\n"
                                          "socket.socket(socket.AF_INET, socket.SOCK_DGRAM)"
                                          ".sendto(b'end of traffic', ('%1', 9998))\n")
                               .arg(pair.addressB())}),
              0);
    EXPECT_TRUE(waitForMarker(file)) << "tcpdump did not write the last datagram";
    tcpdump.terminate();
    ASSERT_TRUE(tcpdump.waitForFinished(10000));
    tcpdumpLog += tcpdump.readAllStandardError();
    std::printf("tcpdump: %s\n", tcpdumpLog.simplified().constData());
    if (qEnvironmentVariableIsSet("QUELMINT_KEEP_CAPTURE"))
        QFile::copy(file, qEnvironmentVariable("QUELMINT_KEEP_CAPTURE"));
    server.kill();
    server.waitForFinished(5000);

    QString error;
    const Expected e = fromTshark(file, pair.addressA(), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    // The recording holds what was sent.
    EXPECT_GE(e.httpRequests, 4);
    EXPECT_GE(e.httpResponses, 4);
    EXPECT_GE(e.posts, 1);
    EXPECT_GE(e.bytesAfterBlankLine, 3);
    EXPECT_GE(e.udp, 6);
    EXPECT_GE(e.icmp, 6);
    EXPECT_GT(e.packets, 50);
    std::printf("recorded %.0f counted frames, %d not IPv4, %d longer than 1514 bytes\n", e.packets,
                e.notIpv4, e.offloaded);

    // Through the frame handler.
    FrameHandler frames;
    ASSERT_NO_FATAL_FAILURE(countThroughHandler(frames, file, pair.addressA(), e));
    EXPECT_GT(frames.counters.value(TrafficCounters::Received, TrafficCounters::Data), 300000.0);
    EXPECT_GT(frames.counters.value(TrafficCounters::Sent, TrafficCounters::Data), 3000.0);

    // Through the replay tool, which prints the same totals.
    const char* rows[] = {"received", "sent", "passthru", "total"};
    const char* columns[] = {"transfer", "data", "headers"};
    const QString replay =
        qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/bench/quelmint-replay");
    if (!QFile::exists(replay))
        SKIP_OR_FAIL("replay tool not built at " + replay.toStdString());
    QProcess tool;
    tool.start(replay, {"--local", pair.addressA(), file});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().data();
    const QJsonObject json = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    for (int r = 0; r < TrafficCounters::kRows; ++r)
        for (int c = 0; c < TrafficCounters::kColumns; ++c)
            EXPECT_EQ(json.value(QLatin1String(rows[r]))
                          .toObject()
                          .value(QLatin1String(columns[c]))
                          .toDouble(),
                      e.counters.value(TrafficCounters::Row(r), TrafficCounters::Column(c)))
                << "replay " << rows[r] << " " << columns[c];
    EXPECT_EQ(json.value(QLatin1String("packetCount")).toDouble(), e.packets);
    EXPECT_GE(json.value(QLatin1String("frames")).toDouble(), e.packets + e.notIpv4);

    // The packet list of the same file: one entry per directed pair, in order of first
    // appearance, with the data bytes and packets tshark's dissection gives.
    QProcess listing;
    listing.start(replay, {"--connections", file});
    ASSERT_TRUE(listing.waitForFinished(60000));
    ASSERT_EQ(listing.exitCode(), 0) << listing.readAllStandardError().data();
    const QJsonArray entries = QJsonDocument::fromJson(listing.readAllStandardOutput())
                                   .object()
                                   .value(QLatin1String("connections"))
                                   .toArray();
    QStringList listed;
    for (const QJsonValue& v : entries) {
        const QJsonObject o = v.toObject();
        listed << QStringLiteral("%1:%2>%3:%4 %5 %6 %7")
                      .arg(o.value(QLatin1String("from")).toString())
                      .arg(o.value(QLatin1String("srcPort")).toInt(-1))
                      .arg(o.value(QLatin1String("to")).toString())
                      .arg(o.value(QLatin1String("destPort")).toInt(-1))
                      .arg(qint64(o.value(QLatin1String("data")).toDouble(-1)))
                      .arg(o.value(QLatin1String("type")).toString())
                      .arg(qint64(o.value(QLatin1String("packets")).toDouble(-1)));
    }
    EXPECT_GE(e.connections.size(), 6); // HTTP both ways, UDP, ICMP both ways
    EXPECT_EQ(listed.join(QLatin1Char('\n')).toStdString(),
              e.connections.join(QLatin1Char('\n')).toStdString());
}

/// Frames written by scapy, a packet library with its own idea of Ethernet, IP, UDP and TCP,
/// sent over the veth as they are: short ones with Ethernet padding behind the IP datagram,
/// longer ones with a trailer, an IP header with options, and one whose total length ends
/// inside those options. The kernels on both sides answer some of them.
const char* const kPaddedFrames = R"(import sys
from scapy.all import Ether, IP, UDP, TCP, ICMP, Raw, Padding, IPOption_NOP, sendp, conf
conf.verb = 0
iface, me, peer, mac, side, other1, other2 = sys.argv[1:8]
e = Ether(dst=mac)
nops = [IPOption_NOP()] * 4
def ip(**kw):
    return IP(src=me, dst=peer, **kw)
if side == 'a':
    frames = [
        e/ip()/UDP(sport=5001, dport=7001)/Raw(b'a')/Padding(b'\xab' * 17),
        e/ip()/UDP(sport=5002, dport=7001)/Padding(b'\x00' * 18),
        e/ip(ihl=6, options=nops)/UDP(sport=5003, dport=7001)/Raw(b'opt')/Padding(b'\xcd' * 11),
        e/ip(ihl=6, len=22, options=nops)/UDP(sport=5004, dport=7001)/Raw(b'd' * 30),
        e/ip()/TCP(sport=6001, dport=8001, flags='S')/Padding(b'\xee' * 6),
        e/ip()/TCP(sport=6002, dport=8001, flags='PA')/Raw(b'hi')/Padding(b'\xee' * 4),
        e/ip()/TCP(sport=6003, dport=8001, flags='PA')/Raw(b'GET ')/Padding(b'\xee' * 2),
        e/ip()/TCP(sport=6004, dport=8001, flags='PA')/Raw(b'POST /f HTTP/1.0\r\n\r\nbody!')
            /Padding(b'\n\r\n' * 7),
        e/ip()/ICMP(type=8, id=7, seq=1)/Raw(b'ping')/Padding(b'\x11' * 14),
        e/IP(src=other1, dst=other2)/UDP(sport=5005, dport=7002)/Raw(b'pass')/Padding(b'\x22' * 14),
    ]
else:
    frames = [
        e/ip()/UDP(sport=7003, dport=5007)/Raw(b'xyz')/Padding(b'\x44' * 15),
        e/ip()/TCP(sport=8002, dport=6005, flags='PA')/Raw(b'HTTP/1.0 200 OK\n\nz')
            /Padding(b'\x55' * 8),
        e/ip()/UDP(sport=7004, dport=5008)/Padding(b'\x66' * 18),
    ]
sendp(frames, iface=iface)
)";

TEST_F(RealTraffic, PaddedFramesFromAnotherStackAgreeWithTshark) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (QProcess::execute(python, {"-c", "import scapy.all"}) != 0)
        SKIP_OR_FAIL("python3-scapy is not installed (tools/test installs it)");
    NetnsPair pair(QStringLiteral("t16a"), 176);
    ASSERT_TRUE(pair.ok());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("padded.pcap"));
    QByteArray macA, macB;
    ASSERT_EQ(pair.runInA({"cat", "/sys/class/net/" + pair.nameA() + "/address"}, 5000, &macA), 0);
    ASSERT_EQ(pair.runInB({"cat", "/sys/class/net/" + pair.nameB() + "/address"}, 5000, &macB), 0);

    QProcess tcpdump;
    tcpdump.start(QStringLiteral("ip"), {"netns", "exec", pair.nsA(), "tcpdump", "-i", pair.nameA(),
                                         "-s", "0", "-U", "--immediate-mode", "-n", "-w", file});
    QByteArray tcpdumpLog;
    ASSERT_TRUE(waitForStderr(tcpdump, "listening on", 15000, &tcpdumpLog)) << tcpdumpLog.data();
    const QString passA = QStringLiteral("10.231.176.50"), passB = QStringLiteral("10.231.176.51");
    QByteArray out;
    EXPECT_EQ(pair.runInB({python, "-c", kPaddedFrames, pair.nameB(), pair.addressB(),
                           pair.addressA(), QString::fromLatin1(macA.trimmed()), "b", passA, passB},
                          60000, &out),
              0)
        << out.data();
    EXPECT_EQ(pair.runInA({python, "-c", kPaddedFrames, pair.nameA(), pair.addressA(),
                           pair.addressB(), QString::fromLatin1(macB.trimmed()), "a", passA, passB},
                          60000, &out),
              0)
        << out.data();
    // The end marker goes through the kernel's own stack, after everything above.
    EXPECT_EQ(pair.runInA({"python3", "-c",
                           QStringLiteral("import socket\n"
                                          "socket.socket(socket.AF_INET, socket.SOCK_DGRAM)"
                                          ".sendto(b'end', ('%1', 9998))\n")
                               .arg(pair.addressB())}),
              0);
    EXPECT_TRUE(waitForMarker(file)) << "tcpdump did not write the last datagram";
    tcpdump.terminate();
    ASSERT_TRUE(tcpdump.waitForFinished(10000));

    QString error;
    const Expected e = fromTshark(file, pair.addressA(), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    // Every frame scapy wrote but the damaged one carries padding; the kernels never pad here.
    EXPECT_EQ(e.padded, 12);
    EXPECT_EQ(e.damaged, 1);

    FrameHandler frames;
    ASSERT_NO_FATAL_FAILURE(countThroughHandler(frames, file, pair.addressA(), e));
    // Data bytes are what the frames above carry as payload (the kernels' answers, resets and
    // ICMP errors, carry none): upload 1 + 3 + 30 ("d" behind the damaged header) + 2 + 5
    // ("body!") + 3 ("end"); download 3 + 1 ("z"); pass-by 4 ("pass").
    EXPECT_EQ(frames.counters.value(TrafficCounters::Sent, TrafficCounters::Data), 44.0);
    EXPECT_EQ(frames.counters.value(TrafficCounters::Received, TrafficCounters::Data), 4.0);
    EXPECT_EQ(frames.counters.value(TrafficCounters::Passthru, TrafficCounters::Data), 4.0);
}

} // namespace
