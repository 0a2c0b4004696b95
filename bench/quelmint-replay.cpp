// quelmint-replay: runs a capture file through the program's frame path and prints the totals.
//
//   quelmint-replay [--local A.B.C.D]... [--repeat N] [--noop] [--preload] [--log-folder DIR]
//                   [--connections] FILE
//
// Prints one JSON line:
//   {"received": {"transfer": .., "data": .., "headers": ..}, "sent": {..}, "passthru": {..},
//    "total": {..}, "packetCount": .., "frames": .., "seconds": .., "framesPerSecond": ..}
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
#include "capture/PacketDecoder.h"
#include "connections/AddressNames.h"
#include "connections/ConnectionTable.h"
#include "platform/PcapFileSource.h"
#include "platform/SystemClock.h"
#include "platform/RealFileSystem.h"
#include "speed/Statistics.h"
#include "usage/DailyUsage.h"
#include "usage/clsUsageLogger.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <functional>
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
        QStringLiteral("local"), QStringLiteral("A local IPv4 address (repeat for several)."),
        QStringLiteral("A.B.C.D"));
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
    parser.addOptions({localOption, repeatOption, noopOption, preloadOption, logFolderOption,
                       connectionsOption});
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
    for (const QString& address : locals) {
        quint32 parsed = 0;
        if (!FrameHandler::parseAddress(address, &parsed))
            return fail(QStringLiteral("not an IPv4 address: %1").arg(address), 2);
    }
    const QString path = files.first();
    const bool noop = parser.isSet(noopOption);
    const bool preload = parser.isSet(preloadOption);

    // The frame path as the main window wires it.
    StderrMessageBoxes boxes;
    SystemClock clock;
    FrameHandler frames(&boxes);
    frames.setLocalAddresses(locals);
    frames.currentDay = clock.today();
    Statistics statistics(clock, frames, nullptr);
    frames.updateStats = [&statistics](bool force) { statistics.updateStats(force); };
    frames.batchEnd = [&statistics] { statistics.flush(); };
    // The packet list: names off, no ageing, not frozen.
    const qint32 neverRemove = 0;
    const qint32 hiliteSeconds = 2;
    ConnectionTable connections(clock, neverRemove, hiliteSeconds);
    AddressNames names(nullptr);
    if (parser.isSet(connectionsOption)) {
        frames.getNameFromAddress = [&names](quint32 a) { return names.getNameFromAddress(a); };
        frames.listPacket = [&connections](const clsPacketInfo& p) { connections.listPacket(p); };
    }
    // The usage log: daily usage accounting writing to --log-folder (usage logger).
    RealFileSystem fileSystem;
    std::unique_ptr<clsUsageLogger> usageLogger;
    std::unique_ptr<DailyUsage> dailyUsage;
    if (parser.isSet(logFolderOption)) {
        usageLogger = std::make_unique<clsUsageLogger>(fileSystem, clock,
                                                       parser.value(logFolderOption));
        dailyUsage = std::make_unique<DailyUsage>(*usageLogger, clock, boxes);
        dailyUsage->start();
        frames.currentDay = dailyUsage->currentDay();
        frames.logUsage = [&dailyUsage](const clsUsageRec& r) { dailyUsage->logUsage(r); };
        frames.batchEnd = [&statistics, &dailyUsage] {
            statistics.flush();
            dailyUsage->onBatchEnd();
        };
    }

    if (parser.isSet(connectionsOption)) {
        const std::function<void()> others = frames.batchEnd;
        frames.batchEnd = [others, &connections] {
            others();
            connections.endBatch();
        };
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
                store.replay(frames);
                frameCount += store.entries.size();
            } else {
                PcapFileSource source(path);
                frameCount += noop ? source.readAll() : source.deliverAll(frames);
            }
        }
    } catch (const CaptureError& e) {
        return fail(e.description());
    } catch (const std::exception& e) {
        return fail(QString::fromLocal8Bit(e.what()));
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (usageLogger)
        usageLogger->release(); // the commit of an orderly exit
    if (boxes.shown > 0)
        return fail(QStringLiteral("the frame path reported errors"));

    const TrafficCounters& c = frames.counters;
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
                frames.packetCount, static_cast<unsigned long long>(frameCount), seconds,
                seconds > 0 ? double(frameCount) / seconds : 0.0);
    if (parser.isSet(connectionsOption)) {
        QJsonArray list;
        for (int row = 0; row < connections.size(); ++row) {
            const ConnectionEntry& e = connections.at(row);
            list.append(QJsonObject{{QStringLiteral("from"), e.srcAddr},
                                    {QStringLiteral("srcPort"), e.srcPort},
                                    {QStringLiteral("to"), e.destAddr},
                                    {QStringLiteral("destPort"), e.destPort},
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
