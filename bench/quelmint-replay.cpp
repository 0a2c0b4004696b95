// quelmint-replay: runs a capture file through the program's session (src/monitor) and prints
// the totals.
//
//   quelmint-replay [--local ADDRESS]... [--ipv6] [--repeat N] [--noop] [--preload]
//                   [--log-folder DIR] [--connections] FILE
//
// Prints one JSON line:
//   {"received": {"transfer": .., "data": .., "headers": ..}, "sent": {..}, "passthru": {..},
//    "total": {..}, "packetCount": .., "frames": .., "seconds": .., "framesPerSecond": ..,
//    "ipv6NotCounted": {"frames": .., "bytes": ..}}
// --local takes IPv4 and IPv6 addresses. With --ipv6, IPv6 frames are counted like IPv4 ones
// (the setting "Count IPv6 traffic") and "ipv6NotCounted" is left out; without it, every IPv6
// frame only adds to "ipv6NotCounted" (frames and bytes on the wire, all repeats).
// "frames" counts every frame read (all repeats); "seconds" is the wall time of reading the file
// with libpcap (from the page cache after the first pass) and handing every frame to the frame
// handler, for all repeats; start-up, argument checks and printing are not included. With
// --preload the file is read into memory once beforehand and "seconds" covers the frame path
// alone. With --noop the frames are only read with libpcap and handed to nobody. With
// --log-folder every counted frame also goes to the usage log in DIR (on today's date, the
// session file written once per batch); the session is committed at the end as at an orderly
// exit, outside the timed part, and the folder is kept. With --connections every counted frame
// is also folded into the packet list's connection table (addresses as dotted text, no ageing,
// never frozen) and the line gets a key "connections": the entries in list order, each
// {"from", "srcPort", "to", "destPort", "data", "type", "packets"}.

#include "StderrMessageBoxes.h"
#include "capture/FrameHandler.h"
#include "monitor/MonitorSession.h"
#include "platform/PcapFileSource.h"
#include "platform/RealFileSystem.h"
#include "platform/SystemClock.h"
#include "platform/fakes/FakeAutostart.h"
#include "platform/fakes/FakeHostNameResolver.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "platform/fakes/FakeSingleInstance.h"
#include "platform/fakes/FakeTrayIcon.h"
#include "usage/clsUsageLogger.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

int fail(const QString& message, int code = 1) {
    std::fprintf(stderr, "quelmint-replay: %s\n", message.toLocal8Bit().constData());
    return code;
}

/// Copies every frame of a file into one buffer, for --preload.
class FrameStore final : public CaptureEvents {
public:
    struct Entry {
        quint32 packetLength;
        quint32 captureLength;
        std::size_t offset;
    };
    void OnPacket(const Packet& packet) override {
        linkType = packet.LinkType;
        entries.push_back({packet.PacketLength, packet.CaptureLength, bytes.size()});
        bytes.insert(bytes.end(), packet.Data, packet.Data + packet.CaptureLength);
    }
    void OnCaptureAborted() override {}
    qint32 linkType = 1;

    /// Hands the stored frames out in batches like the file source does.
    void replay(CaptureEvents& events, std::size_t batchSize = 4096) const {
        std::size_t inBatch = 0;
        for (const Entry& e : entries) {
            Packet p;
            p.PacketLength = e.packetLength;
            p.CaptureLength = e.captureLength;
            p.Data = bytes.data() + e.offset;
            p.LinkType = linkType;
            events.OnPacket(p);
            if (++inBatch == batchSize) {
                events.OnBatchEnd();
                inBatch = 0;
            }
        }
        if (inBatch > 0)
            events.OnBatchEnd();
    }

    std::vector<Entry> entries;
    std::vector<unsigned char> bytes;
};

void printRow(const char* name, const TrafficCounters& c, TrafficCounters::Row row) {
    std::printf("\"%s\": {\"transfer\": %.0f, \"data\": %.0f, \"headers\": %.0f}", name,
                c.value(row, TrafficCounters::Transfer), c.value(row, TrafficCounters::Data),
                c.value(row, TrafficCounters::Headers));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quelmint-replay"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs a capture file through the frame path and prints the totals as JSON."));
    parser.addHelpOption();
    const QCommandLineOption localOption(
        QStringLiteral("local"),
        QStringLiteral("A local IPv4 or IPv6 address (repeat for several)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption ipv6Option(QStringLiteral("ipv6"),
                                        QStringLiteral("Count IPv6 frames like IPv4 ones."));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Run the file N times (default 1)."),
                                          QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption noopOption(QStringLiteral("noop"),
                                        QStringLiteral("Only read the frames with libpcap."));
    const QCommandLineOption preloadOption(
        QStringLiteral("preload"),
        QStringLiteral("Read the file into memory first; time the frame path alone."));
    const QCommandLineOption logFolderOption(
        QStringLiteral("log-folder"),
        QStringLiteral("Log every frame's usage in this folder (kept afterwards)."),
        QStringLiteral("DIR"));
    const QCommandLineOption connectionsOption(
        QStringLiteral("connections"),
        QStringLiteral("Fold the frames into the packet list and print its entries."));
    parser.addOptions({localOption, ipv6Option, repeatOption, noopOption, preloadOption,
                       logFolderOption, connectionsOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A pcap or pcapng file."));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText(), 2);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return fail(QStringLiteral("give exactly one capture file (see --help)"), 2);
    bool repeatOk = false;
    const int repeat = parser.value(repeatOption).toInt(&repeatOk);
    if (!repeatOk || repeat < 1)
        return fail(QStringLiteral("--repeat wants a whole number of at least 1"), 2);
    const QStringList locals = parser.values(localOption);
    for (const QString& address : locals)
        if (!IpAddress::parse(address))
            return fail(QStringLiteral("not an IPv4 or IPv6 address: %1").arg(address), 2);
    const bool countIpv6 = parser.isSet(ipv6Option);
    const QString path = files.first();
    const bool noop = parser.isSet(noopOption);
    const bool preload = parser.isSet(preloadOption);

    // The program's session, fed by the file instead of the capture component: no window, no
    // capture, no ticks. The packet list (names off, no ageing) and the usage log take part
    // when asked for.
    StderrMessageBoxes boxes;
    SystemClock clock;
    RealFileSystem fileSystem;
    FakeTrayIcon tray;
    FakeSettingsStore store;
    FakeAutostart autostart;
    FakeSingleInstance single;
    FakeHostNameResolver resolver;
    ShellServices services{clock,     boxes,     tray,       store,
                           autostart, single,    fileSystem, CaptureLibraryCheck::system(),
                           {},        QString(), QString(),  2000,
                           nullptr,   nullptr,   &resolver};
    MonitorSession session(services);
    session.settings().gCountIPv6 = countIpv6;
    session.settings().announce(Settings::Switches);
    session.setLocalAddresses(locals);
    session.setPacketListing(parser.isSet(connectionsOption));
    if (parser.isSet(logFolderOption)) {
        // The daily usage accounting writing to --log-folder, on today's date.
        session.openUsageLog(parser.value(logFolderOption));
        session.startAccounting();
    }

    quint64 frameCount = 0;
    QElapsedTimer timer;
    try {
        {
            PcapFileSource probe(path);
            if (!linktype::readable(probe.linkType()))
                return fail(QStringLiteral("%1 is not a capture of a link type Quelmint reads "
                                           "(link type %2)")
                                .arg(path)
                                .arg(probe.linkType()));
        }
        FrameStore store;
        if (preload && !noop) {
            PcapFileSource source(path);
            source.deliverAll(store);
        }
        timer.start();
        for (int i = 0; i < repeat; ++i) {
            if (preload && !noop) {
                store.replay(session);
                frameCount += store.entries.size();
            } else {
                PcapFileSource source(path);
                frameCount += noop ? source.readAll() : source.deliverAll(session);
            }
        }
    } catch (const CaptureError& e) {
        return fail(e.description());
    } catch (const std::exception& e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents(); // the frame path's boxes wait for the event loop
    if (clsUsageLogger* logger = session.usageLogger())
        logger->release(); // the commit of an orderly exit
    if (boxes.shown > 0)
        return fail(QStringLiteral("the frame path reported errors"));

    const TrafficCounters& c = session.frames().counters;
    std::printf("{");
    printRow("received", c, TrafficCounters::Received);
    std::printf(", ");
    printRow("sent", c, TrafficCounters::Sent);
    std::printf(", ");
    printRow("passthru", c, TrafficCounters::Passthru);
    std::printf(", ");
    printRow("total", c, TrafficCounters::Total);
    std::printf(", \"packetCount\": %.0f, \"frames\": %llu, \"seconds\": %.6f, "
                "\"framesPerSecond\": %.0f",
                session.frames().packetCount, static_cast<unsigned long long>(frameCount), seconds,
                seconds > 0 ? double(frameCount) / seconds : 0.0);
    if (!countIpv6) {
        const FrameHandler::NotCounted& ipv6 = session.frames().ipv6NotCounted;
        std::printf(", \"ipv6NotCounted\": {\"frames\": %llu, \"bytes\": %llu}",
                    static_cast<unsigned long long>(ipv6.frames),
                    static_cast<unsigned long long>(ipv6.bytes));
    }
    if (parser.isSet(connectionsOption)) {
        const ConnectionTable& connections = session.packetList().table();
        QJsonArray list;
        for (int row = 0; row < connections.size(); ++row) {
            const ConnectionEntry& e = connections.at(row);
            list.append(QJsonObject{{QStringLiteral("from"), connections.text(e.source())},
                                    {QStringLiteral("srcPort"), int(e.srcPort)},
                                    {QStringLiteral("to"), connections.text(e.destination())},
                                    {QStringLiteral("destPort"), int(e.destPort)},
                                    {QStringLiteral("data"), e.data},
                                    {QStringLiteral("type"), ConnectionTable::typeName(e.pkType)},
                                    {QStringLiteral("packets"), e.packets}});
        }
        std::printf(", \"connections\": %s",
                    QJsonDocument(list).toJson(QJsonDocument::Compact).constData());
        if (connections.unlistedPackets() > 0)
            std::printf(", \"unlistedPackets\": %llu",
                        static_cast<unsigned long long>(connections.unlistedPackets()));
    }
    std::printf("}\n");
    return 0;
}
