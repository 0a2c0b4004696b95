// quelmint-mkscan: writes a port-scan capture for the packet-list benchmark.
//
//   quelmint-mkscan [--count N] [--keys K] FILE
//
// N frames (default 1,000,000) of 60 bytes, each a TCP SYN-sized segment without data from
// 10.9.0.1 port 40000 to one of K distinct destinations (default 200,000): key k goes to
// address 10.0.0.1 + k / 50000, port 1 + k % 50000. Frame i uses key i % K, so every key
// appears N / K times and the packet list ends with K entries.

#include "BigEndian.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

template <typename T> void append(QByteArray& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Frames."),
                                         QStringLiteral("N"), QStringLiteral("1000000"));
    const QCommandLineOption keysOption(QStringLiteral("keys"),
                                        QStringLiteral("Distinct destinations."),
                                        QStringLiteral("K"), QStringLiteral("200000"));
    parser.addOptions({countOption, keysOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The pcap file to write."));
    parser.process(app);
    bool countOk = false, keysOk = false;
    const qint64 count = parser.value(countOption).toLongLong(&countOk);
    const qint64 keys = parser.value(keysOption).toLongLong(&keysOk);
    if (!countOk || !keysOk || count < 1 || keys < 1 || keys > 10000000 ||
        parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "quelmint-mkscan: give --count N, --keys K (1..10000000), FILE\n");
        return 2;
    }
    QFile file(parser.positionalArguments().first());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "quelmint-mkscan: %s\n", file.errorString().toLocal8Bit().constData());
        return 1;
    }
    QByteArray out;
    append<quint32>(out, 0xA1B2C3D4); // classic pcap, microseconds, host byte order
    append<quint16>(out, 2);
    append<quint16>(out, 4);
    append<qint32>(out, 0);
    append<quint32>(out, 0);
    append<quint32>(out, 262144);
    append<quint32>(out, 1); // Ethernet

    QByteArray frame(60, '\0');
    frame[12] = char(0x08);
    frame[14] = char(0x45);
    put16(frame, 16, 40);
    frame[22] = char(64);
    frame[23] = char(6);
    put32(frame, 26, 0x0A090001);
    put16(frame, 34, 40000);
    frame[46] = char(0x50);
    frame[47] = char(0x02); // SYN
    for (qint64 i = 0; i < count; ++i) {
        const qint64 k = i % keys;
        put32(frame, 30, quint32(0x0A000001 + k / 50000));
        put16(frame, 36, int(1 + k % 50000));
        append<quint32>(out, quint32(i / 1000000));
        append<quint32>(out, quint32(i % 1000000));
        append<quint32>(out, 60);
        append<quint32>(out, 60);
        out += frame;
        if (out.size() > (1 << 22)) {
            file.write(out);
            out.clear();
        }
    }
    if (file.write(out) != out.size() || !file.flush()) {
        std::fprintf(stderr, "quelmint-mkscan: %s\n", file.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
