// quelmint-mkpcap: writes a synthetic Ethernet capture file for the replay benchmark.
//
//   quelmint-mkpcap [--count N] [--mixed] FILE
//
// Without --mixed: N frames of 60 bytes, each a bare TCP ACK (40-byte datagram + 6 bytes of
// padding), alternating between 10.0.0.1 -> 10.0.0.2 and back.
// With --mixed: N frames cycling through HTTP requests and responses, full-size body segments,
// ACKs, DNS over UDP, ICMP echo, IGMP, ARP and IPv6 (not counted), GRE (not counted), pass-by
// traffic and an offloaded 64 KiB segment.

#include "BigEndian.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

/// Ethernet + IPv4 + transport header + payload (+ zero padding to 60 bytes).
QByteArray ipv4(quint8 protocol, quint32 src, quint32 dst, const QByteArray& payload,
                int totalLengthOverride = -1) {
    const int transport = protocol == 6 ? 20 : protocol == 17 ? 8 : 0;
    QByteArray f(14 + 20 + transport, '\0');
    f[12] = char(0x08);
    f[14] = char(0x45);
    put16(f, 16,
          totalLengthOverride >= 0 ? totalLengthOverride : 20 + transport + int(payload.size()));
    f[22] = char(64);
    f[23] = char(protocol);
    put32(f, 26, src);
    put32(f, 30, dst);
    if (protocol == 6 || protocol == 17) {
        put16(f, 34, 40000);
        put16(f, 36, protocol == 6 ? 80 : 53);
    }
    if (protocol == 6)
        f[46] = char(0x50);
    if (protocol == 17)
        put16(f, 38, 8 + int(payload.size()));
    f += payload;
    if (f.size() < 60)
        f += QByteArray(60 - f.size(), '\0');
    return f;
}

QList<QByteArray> mixedCycle() {
    const quint32 a = 0x0A000001, b = 0x0A000002, c = 0x0A000063, d = 0x0A000064;
    QList<QByteArray> frames;
    frames << ipv4(6, a, b, "GET /index.html HTTP/1.1\r\nHost: b\r\nUser-Agent: bench\r\n\r\n");
    frames << ipv4(6, b, a,
                   "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(1414, 'x'));
    for (int i = 0; i < 6; ++i)
        frames << ipv4(6, b, a, QByteArray(1460, 'y'));
    frames << ipv4(6, a, b, {}) << ipv4(6, a, b, {});
    frames << ipv4(6, a, b, "POST /form HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello");
    frames << ipv4(17, a, b, QByteArray(30, 'q')) << ipv4(17, b, a, QByteArray(120, 'r'));
    frames << ipv4(1, a, b, QByteArray(64, 'p')) << ipv4(1, b, a, QByteArray(64, 'p'));
    frames << ipv4(2, a, 0xE0000001, QByteArray(8, 'g'));
    frames << ipv4(6, c, d, QByteArray(600, 'z')) << ipv4(17, d, c, QByteArray(200, 'w'));
    frames << ipv4(47, a, b, QByteArray(100, 'e'));
    frames << ipv4(6, b, a, QByteArray(65000, 'o'), 0); // offloaded segment, total length 0
    QByteArray arp(60, '\0');
    arp[12] = char(0x08);
    arp[13] = char(0x06);
    frames << arp;
    QByteArray v6(86, '\0');
    v6[12] = char(0x86);
    v6[13] = char(0xDD);
    v6[14] = char(0x60);
    frames << v6;
    return frames;
}

void appendRecord(QByteArray& out, const QByteArray& frame, quint32 index) {
    const quint32 header[4] = {1700000000u + index / 1000, (index % 1000) * 1000,
                               quint32(frame.size()), quint32(frame.size())};
    out.append(reinterpret_cast<const char*>(header), sizeof header);
    out += frame;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Frames to write."), QStringLiteral("N"),
                                         QStringLiteral("1000000"));
    const QCommandLineOption mixedOption(QStringLiteral("mixed"), QStringLiteral("Mixed traffic."));
    parser.addOptions({countOption, mixedOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The pcap file to write."));
    parser.process(app);
    bool ok = false;
    const qint64 count = parser.value(countOption).toLongLong(&ok);
    if (!ok || count < 1 || parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "quelmint-mkpcap: give --count N (N >= 1) and one FILE\n");
        return 2;
    }
    QFile file(parser.positionalArguments().first());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "quelmint-mkpcap: %s\n", file.errorString().toLocal8Bit().constData());
        return 1;
    }
    // Classic pcap header, microseconds, host byte order, Ethernet, snap length 262144.
    const quint32 magic = 0xA1B2C3D4;
    const quint16 major = 2, minor = 4;
    const qint32 zone = 0;
    const quint32 sigfigs = 0, snap = 262144, link = 1;
    QByteArray out;
    out.append(reinterpret_cast<const char*>(&magic), 4);
    out.append(reinterpret_cast<const char*>(&major), 2);
    out.append(reinterpret_cast<const char*>(&minor), 2);
    out.append(reinterpret_cast<const char*>(&zone), 4);
    out.append(reinterpret_cast<const char*>(&sigfigs), 4);
    out.append(reinterpret_cast<const char*>(&snap), 4);
    out.append(reinterpret_cast<const char*>(&link), 4);

    const QList<QByteArray> cycle = parser.isSet(mixedOption)
                                        ? mixedCycle()
                                        : QList<QByteArray>{ipv4(6, 0x0A000001, 0x0A000002, {}),
                                                            ipv4(6, 0x0A000002, 0x0A000001, {})};
    for (qint64 i = 0; i < count; ++i) {
        appendRecord(out, cycle[int(i % cycle.size())], quint32(i));
        if (out.size() > (1 << 22)) {
            file.write(out);
            out.clear();
        }
    }
    if (file.write(out) != out.size() || !file.flush()) {
        std::fprintf(stderr, "quelmint-mkpcap: %s\n", file.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
