// Reading capture files: files written here byte by byte, and files that tcpdump and editcap wrote
// from real traffic between two network namespaces of this test.
#include "platform/PcapFileSource.h"
#include "support/CaptureRecorder.h"
#include "support/NetnsPair.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace {

using Frame = RecordedFrame;
using Recorder = CaptureRecorder;

/// A frame as stored in a record: its wire length and the bytes kept.
struct Record {
    quint32 wireLength;
    QByteArray kept;
    quint32 storedCaplen = 0; ///< caplen field when it should differ from kept.size()
};

/// Byte order and time resolution of a classic capture file.
struct Flavour {
    const char* name;
    bool bigEndian;
    bool nanoseconds;
};

template <typename T> void put(QByteArray& out, T v, bool bigEndian) {
    char b[sizeof(T)];
    if (bigEndian)
        qToBigEndian(v, b);
    else
        qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

/// A classic capture file of Ethernet frames, written by hand.
QByteArray pcapFile(const std::vector<Record>& records, Flavour f = {"le", false, false},
                    quint32 snapLength = 65535) {
    QByteArray out;
    put<quint32>(out, f.nanoseconds ? 0xa1b23c4d : 0xa1b2c3d4, f.bigEndian);
    put<quint16>(out, 2, f.bigEndian);
    put<quint16>(out, 4, f.bigEndian);
    put<quint32>(out, 0, f.bigEndian); // time zone
    put<quint32>(out, 0, f.bigEndian); // accuracy
    put<quint32>(out, snapLength, f.bigEndian);
    put<quint32>(out, 1, f.bigEndian); // Ethernet
    quint32 second = 1765000000;
    for (const Record& r : records) {
        put<quint32>(out, second++, f.bigEndian);
        put<quint32>(out, 1000, f.bigEndian);
        put<quint32>(out, r.storedCaplen != 0 ? r.storedCaplen : quint32(r.kept.size()),
                     f.bigEndian);
        put<quint32>(out, r.wireLength, f.bigEndian);
        out += r.kept;
    }
    return out;
}

/// Frame bytes that differ from frame to frame.
QByteArray frameBytes(int length, int seed) {
    QByteArray b(length, '\0');
    for (int i = 0; i < length; ++i)
        b[i] = char((seed * 31 + i * 7) & 0xff);
    if (length >= 14) {
        b[12] = 0x08; // IPv4
        b[13] = 0x00;
    }
    return b;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    return writeFile(path, content) ? path : QString();
}

/// Delivers a whole file; the error text when it throws.
std::optional<QString> readInto(const QString& path, Recorder& rec, int batchSize = 4096) {
    return captureErrorOf([&] { PcapFileSource(path).deliverAll(rec, batchSize); });
}

TEST(PcapFile, HandWrittenFilesDeliverEveryFrameWithItsLengths) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<Record> records = {
        {60, frameBytes(60, 1)},
        {1514, frameBytes(64, 2)}, // captured with a short snapshot: wire length > bytes kept
        {42, frameBytes(42, 3)},
        {262144, frameBytes(96, 4)}, // an offloaded giant
        {9, frameBytes(9, 5)},       // shorter than an Ethernet header
    };
    const Flavour flavours[] = {{"little-endian", false, false},
                                {"big-endian", true, false},
                                {"nanosecond", false, true},
                                {"big-endian nanosecond", true, true}};
    for (const Flavour& f : flavours) {
        SCOPED_TRACE(f.name);
        const QString path = writeFile(dir, QStringLiteral("hand.pcap"), pcapFile(records, f));
        ASSERT_FALSE(path.isEmpty());
        for (int batch : {1, 2, 4096}) {
            Recorder rec;
            PcapFileSource source(path);
            EXPECT_EQ(source.linkType(), 1);
            EXPECT_EQ(source.deliverAll(rec, batch), records.size());
            ASSERT_EQ(rec.frames.size(), records.size());
            for (size_t i = 0; i < records.size(); ++i) {
                EXPECT_EQ(rec.frames[i].packetLength, records[i].wireLength) << i;
                EXPECT_EQ(rec.frames[i].captureLength, quint32(records[i].kept.size())) << i;
                EXPECT_EQ(rec.frames[i].bytes, records[i].kept) << i;
            }
            EXPECT_EQ(rec.batchEnds, int((records.size() + batch - 1) / batch));
            EXPECT_EQ(rec.sinceBatchEnd, 0);
        }
        PcapFileSource counting(path);
        EXPECT_EQ(counting.readAll(), records.size());
    }
}

TEST(PcapFile, RecordsClaimingMoreThanTheyMayHoldAreNeverReadPast) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // More bytes kept than the frame had on the wire: only the frame's own bytes are handed out.
    // A record longer than the file's snapshot length: cut to it. Either way the next record
    // still starts at the right place.
    struct Case {
        const char* name;
        Record first;
        quint32 snapLength, kept;
    };
    const Case cases[] = {{"more kept than on the wire", {20, frameBytes(40, 1)}, 65535, 20},
                          {"longer than the snapshot", {100, frameBytes(100, 3)}, 64, 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Record next{50, frameBytes(50, 4)};
        const QString path =
            writeFile(dir, QStringLiteral("over.pcap"),
                      pcapFile({c.first, next}, {"le", false, false}, c.snapLength));
        Recorder rec;
        ASSERT_EQ(readInto(path, rec), std::nullopt);
        ASSERT_EQ(rec.frames.size(), 2u);
        EXPECT_EQ(rec.frames[0].packetLength, c.first.wireLength);
        EXPECT_EQ(rec.frames[0].captureLength, c.kept);
        EXPECT_EQ(rec.frames[0].bytes, c.first.kept.left(int(c.kept)));
        EXPECT_EQ(rec.frames[1].bytes, next.kept);
    }
    // A record that claims an absurd length: an error, not an allocation of gigabytes or a read
    // past the end.
    {
        std::vector<Record> records = {{60, frameBytes(60, 1)},
                                       {60, frameBytes(60, 2), 0x7fffff00}};
        const QString path = writeFile(dir, QStringLiteral("huge.pcap"), pcapFile(records));
        Recorder rec;
        const auto error = readInto(path, rec);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->contains(path)) << error->toStdString();
        EXPECT_EQ(rec.frames.size(), 1u);
    }
}

TEST(PcapFile, DamagedOrMissingFilesFailWithACaptureError) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray good =
        pcapFile({{60, frameBytes(60, 1)}, {80, frameBytes(80, 2)}, {70, frameBytes(70, 3)}});
    struct Case {
        const char* name;
        std::optional<QByteArray> content; // nullopt: no such file
        size_t framesBeforeError;
    };
    const Case cases[] = {
        {"empty", QByteArray(), 0},
        {"garbage", QByteArray("This is not a capture file at all, just some text.\n").repeated(20),
         0},
        {"half a file header", good.left(10), 0},
        {"file header only", good.left(24), 0},
        {"cut inside a record header", good.left(24 + 16 + 60 + 7), 1},
        {"cut inside a frame", good.left(24 + 16 + 60 + 16 + 30), 1},
        {"cut inside the last frame", good.left(good.size() - 1), 2},
        {"missing", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.content ? writeFile(dir, QStringLiteral("damaged.pcap"), *c.content)
                                       : dir.filePath(QStringLiteral("no such file.pcap"));
        ASSERT_FALSE(path.isEmpty());
        Recorder rec;
        const auto error = readInto(path, rec);
        const bool headerOnly = c.content && c.content->size() == 24;
        if (headerOnly) {
            // A file with a header and no frames is a valid, empty capture.
            EXPECT_EQ(error, std::nullopt);
        } else {
            ASSERT_TRUE(error.has_value());
            EXPECT_TRUE(error->contains(path)) << error->toStdString();
        }
        EXPECT_EQ(rec.frames.size(), c.framesBeforeError);
        QFile::remove(path);
    }

    // Not files: a folder, and a name that libpcap alone would take for standard input.
    for (const QString& path : {dir.path(), QStringLiteral("-")}) {
        SCOPED_TRACE(path.toStdString());
        Recorder rec;
        EXPECT_TRUE(readInto(path, rec).has_value());
    }
}

TEST(PcapFile, AFailingHandlerEndsDeliveryAndReachesTheCaller) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<Record> records;
    for (int i = 0; i < 10; ++i)
        records.push_back({quint32(60 + i), frameBytes(60 + i, i)});
    const QString path = writeFile(dir, QStringLiteral("ten.pcap"), pcapFile(records));
    Recorder rec;
    rec.onPacket = [&](const Packet&) {
        if (rec.frames.size() == 4)
            throw std::runtime_error("handler failed");
    };
    PcapFileSource source(path);
    EXPECT_THROW(source.deliverAll(rec, 3), std::runtime_error);
    EXPECT_EQ(rec.frames.size(), 4u);
    // The file goes on where it stopped.
    rec.onPacket = nullptr;
    EXPECT_EQ(source.deliverAll(rec), 6u);
    ASSERT_EQ(rec.frames.size(), 10u);
    EXPECT_EQ(rec.frames.back().bytes, records.back().kept);
}

// ---- files written by tcpdump from real traffic, and converted to pcapng ----

constexpr quint16 kUdpPort = 40001;

/// The UDP payload of an Ethernet frame sent to our port, from its kept bytes.
std::optional<QByteArray> udpPayload(const Frame& f) {
    return frameinfo::udpPayload(f, kUdpPort);
}

class PcapFileFromTraffic : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_NETNS("tcpdump", "editcap");
        ASSERT_TRUE(dir_.isValid());
        pair_ = std::make_unique<NetnsPair>(QStringLiteral("capf"), 11);
        ASSERT_TRUE(pair_->ok()) << "could not create the namespaces and the veth pair";
    }

    /// Records nameA() with tcpdump while datagrams of the given sizes go from B to A.
    QString record(const QString& name, const std::vector<int>& sizes, int snapLength) {
        const QString path = dir_.filePath(name);
        QProcess dump;
        dump.setProcessChannelMode(QProcess::MergedChannels);
        dump.start(QStringLiteral("ip"),
                   {"netns", "exec", pair_->nsA(), "tcpdump", "-i", pair_->nameA(),
                    "--immediate-mode", "-U", "-n", "-s", QString::number(snapLength), "-w", path});
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains("listening on"); ++i) {
            dump.waitForReadyRead(100);
            out += dump.readAll();
        }
        if (!out.contains("listening on"))
            return {};
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (pair_->runInB({"bash", "-c", "printf %s \"$1\" > /dev/udp/$2/$3", "_",
                               QString::fromLatin1(frameinfo::makePayload(sizes[i], char(i))),
                               pair_->addressA(), QString::number(kUdpPort)}) != 0)
                return {};
        }
        // tcpdump writes each frame as it comes (-U): wait until the file holds them all.
        for (int i = 0; i < 200 && tcpdumpCount(path) < int(sizes.size()); ++i)
            usleep(50 * 1000);
        dump.terminate(); // tcpdump writes out what it holds and ends
        if (!dump.waitForFinished(5000))
            return {};
        return path;
    }

    /// How many frames tcpdump itself reads from a file.
    int tcpdumpCount(const QString& path) {
        QProcess p;
        p.start(QStringLiteral("tcpdump"), {"-n", "-r", path});
        p.waitForFinished(10000);
        return int(p.readAllStandardOutput().count('\n'));
    }

    QString convertToPcapng(const QString& path) {
        const QString out = path + QStringLiteral("ng");
        QProcess p;
        p.start(QStringLiteral("editcap"), {"-F", "pcapng", path, out});
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return {};
        return out;
    }

    QTemporaryDir dir_;
    std::unique_ptr<NetnsPair> pair_;
};

TEST_F(PcapFileFromTraffic, TcpdumpFilesAndTheirPcapngCopiesDeliverTheSameFrames) {
    const std::vector<int> sizes = {1, 64, 200, 1000, 1472};
    struct Take {
        const char* name;
        int snapLength;
    };
    for (const Take take : {Take{"full.pcap", 262144}, Take{"short.pcap", 80}}) {
        SCOPED_TRACE(take.name);
        const QString path = record(QString::fromLatin1(take.name), sizes, take.snapLength);
        ASSERT_FALSE(path.isEmpty()) << "tcpdump did not record";
        Recorder rec;
        ASSERT_EQ(readInto(path, rec), std::nullopt);
        EXPECT_EQ(int(rec.frames.size()), tcpdumpCount(path));
        std::printf("[ figures ] %s: %zu frames\n", take.name, rec.frames.size());

        std::vector<int> seen;
        for (const Frame& f : rec.frames) {
            EXPECT_LE(f.captureLength, f.packetLength);
            EXPECT_LE(f.captureLength, quint32(take.snapLength));
            const auto payload = udpPayload(f);
            if (!payload)
                continue;
            const int size = int(f.packetLength) - 42;
            const int index = int(seen.size());
            ASSERT_LT(index, int(sizes.size()));
            seen.push_back(size);
            const QByteArray sent = frameinfo::makePayload(sizes[index], char(index));
            EXPECT_EQ(*payload, sent.left(payload->size()));
            EXPECT_EQ(f.captureLength, quint32(std::min(take.snapLength, 42 + sizes[index])));
        }
        EXPECT_EQ(seen, sizes);

        // The same capture as pcapng.
        const QString ng = convertToPcapng(path);
        ASSERT_FALSE(ng.isEmpty()) << "editcap failed";
        QFile ngFile(ng);
        ASSERT_TRUE(ngFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(ngFile.read(4), QByteArray::fromHex("0a0d0d0a")); // really pcapng
        const QByteArray ngBytes = ngFile.readAll().prepend(QByteArray::fromHex("0a0d0d0a"));
        Recorder fromNg;
        {
            PcapFileSource source(ng);
            EXPECT_EQ(source.linkType(), 1);
        }
        ASSERT_EQ(readInto(ng, fromNg), std::nullopt);
        EXPECT_EQ(fromNg.frames, rec.frames);

        // A pcapng file cut short: the frames before the cut, then an error.
        const QString cut =
            writeFile(dir_, QStringLiteral("cut.pcapng"), ngBytes.left(ngBytes.size() - 10));
        Recorder fromCut;
        const auto error = readInto(cut, fromCut);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(fromCut.frames.size(), rec.frames.size() - 1);
    }
}

} // namespace
