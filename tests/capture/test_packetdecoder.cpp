#include "capture/PacketDecoder.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray zeros(int n) {
    return QByteArray(n, '\0');
}

struct DecodeCase {
    const char* name;
    std::function<void(FrameBuilder&)> setUp;
    std::optional<quint32> captureLength; ///< the whole built frame when unset
    bool counted;
    quint8 protocol;
    qint64 ipHeader, transportHeader, appHeader, padding, headerBytes, dataBytes;
};

/// A failing case is named by its name, not dumped as bytes.
void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class DecoderTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecoderTable, SplitsFrameIntoHeadersAndData) {
    const DecodeCase& c = GetParam();
    FrameBuilder b;
    c.setUp(b);
    const QByteArray bytes = b.build();
    const quint32 packetLength = b.packetLength ? *b.packetLength : quint32(bytes.size());
    const quint32 captureLength = c.captureLength ? *c.captureLength : quint32(bytes.size());
    ASSERT_LE(captureLength, quint32(bytes.size()));
    // Copy exactly the captured bytes, so reading past them would be caught by sanitizers.
    std::vector<unsigned char> data(bytes.begin(), bytes.begin() + captureLength);
    const DecodedFrame f = PacketDecoder::decode(packetLength, captureLength, data.data());

    ASSERT_EQ(f.counted, c.counted);
    if (!c.counted)
        return;
    EXPECT_EQ(f.protocol, c.protocol);
    EXPECT_EQ(f.ipHeaderLength, c.ipHeader);
    EXPECT_EQ(f.transportHeaderLength, c.transportHeader);
    EXPECT_EQ(f.appHeaderLength, c.appHeader);
    EXPECT_EQ(f.padding, c.padding);
    EXPECT_EQ(f.headerBytes, c.headerBytes);
    EXPECT_EQ(f.dataBytes, c.dataBytes);
    // Transfer = Data + Headers for every frame, nothing negative.
    EXPECT_EQ(f.headerBytes + f.dataBytes, qint64(packetLength));
    EXPECT_GE(f.dataBytes, 0);
    EXPECT_GE(f.padding, 0);
    EXPECT_EQ(f.sourceAddress, b.source);
    EXPECT_EQ(f.destinationAddress, b.destination);
    if (c.protocol == 6 || c.protocol == 17) {
        EXPECT_EQ(f.sourcePort, b.sourcePort);
        EXPECT_EQ(f.destinationPort, b.destinationPort);
    } else {
        EXPECT_EQ(f.sourcePort, 0);
        EXPECT_EQ(f.destinationPort, 0);
    }
}

// clang-format off
// How each HTTP method is measured is the header measurement's own table; these cases show how
// the decoder uses the measurement: a request and a response, padding, cut captures.
const DecodeCase kCases[] = {
    {"TcpAckIn60ByteFrame", [](FrameBuilder& b) { b.trailer = zeros(6); },
     {}, true, 6, 20, 20, 0, 6, 60, 0},
    {"TcpGetRequestIsAllHeader",
     [](FrameBuilder& b) { b.payload = "GET /x HTTP/1.1\r\nHost: ab.example\r\n\r\n"; },
     {}, true, 6, 20, 20, 37, 0, 91, 0},
    {"TcpResponseHeaderEndsAtBlankLine",
     [](FrameBuilder& b) { b.payload = "HTTP/1.1 200 OK\r\n\r\nhello"; },
     {}, true, 6, 20, 20, 19, 0, 73, 5},
    {"TcpBodyContinuationHasNoHeader",
     [](FrameBuilder& b) { b.payload = QByteArray(1000, 'x'); },
     {}, true, 6, 20, 20, 0, 0, 54, 1000},
    {"TcpOptionsCountAsHeader",
     [](FrameBuilder& b) { b.tcpWords = 8; b.payload = QByteArray(10, 'd'); },
     {}, true, 6, 20, 32, 0, 0, 66, 10},
    {"TcpGetWithPaddingKeepsPaddingAsHeader",
     [](FrameBuilder& b) { b.payload = "GET "; b.trailer = zeros(2); },
     {}, true, 6, 20, 20, 4, 2, 60, 0},
    {"BlankLineInTrailerIsNotPartOfThePayload",
     [](FrameBuilder& b) { b.payload = "HTTP/1.1 200"; b.trailer = "\n\r\nXYZ"; },
     {}, true, 6, 20, 20, 12, 6, 72, 0},
    {"PrefixCompletedByTrailerIsNotHttp",
     [](FrameBuilder& b) { b.payload = "GET"; b.trailer = " xx"; },
     {}, true, 6, 20, 20, 0, 3, 57, 3},
    {"UdpHeaderIsEightBytes",
     [](FrameBuilder& b) { b.protocol = 17; b.destinationPort = 53; b.payload = QByteArray(100, 'q'); },
     {}, true, 17, 20, 8, 0, 0, 42, 100},
    {"UdpWithPadding",
     [](FrameBuilder& b) { b.protocol = 17; b.payload = "ab"; b.trailer = zeros(16); },
     {}, true, 17, 20, 8, 0, 16, 58, 2},
    {"UdpHttpLookalikeIsNotMeasured",
     [](FrameBuilder& b) { b.protocol = 17; b.payload = "GET / HTTP/1.1\r\n\r\n"; },
     {}, true, 17, 20, 8, 0, 0, 42, 18},
    {"IpOptionsLengthenIpHeader",
     [](FrameBuilder& b) { b.protocol = 17; b.ihlWords = 6; b.payload = "abcd"; },
     {}, true, 17, 24, 8, 0, 0, 46, 4},
    {"IcmpEchoIsAllHeader",
     [](FrameBuilder& b) { b.protocol = 1; b.payload = QByteArray(64, 'p'); },
     {}, true, 1, 20, 64, 0, 0, 98, 0},
    {"IgmpWithPaddingIsAllHeader",
     [](FrameBuilder& b) { b.protocol = 2; b.payload = QByteArray(8, 'g'); b.trailer = zeros(18); },
     {}, true, 2, 20, 8, 0, 18, 60, 0},
    {"GreCountsPayloadAsData",
     [](FrameBuilder& b) { b.protocol = 47; b.payload = QByteArray(30, 'e'); },
     {}, true, 47, 20, 0, 0, 0, 34, 30},
    {"EspWithPadding",
     [](FrameBuilder& b) { b.protocol = 50; b.payload = QByteArray(4, 'e'); b.trailer = zeros(8); },
     {}, true, 50, 20, 0, 0, 8, 42, 4},
    {"Ipv6VersionIsIgnored", [](FrameBuilder& b) { b.version = 6; b.payload = "x"; },
     {}, false, 0, 0, 0, 0, 0, 0, 0},
    {"FrameShorterThanIpHeaderIsIgnored", [](FrameBuilder& b) { b.protocol = 1; },
     33u, false, 0, 0, 0, 0, 0, 0, 0},
    {"TcpTooShortForItsHeader", [](FrameBuilder& b) { b.payload = ""; },
     53u, false, 0, 0, 0, 0, 0, 0, 0},
    {"UdpTooShortForItsHeader", [](FrameBuilder& b) { b.protocol = 17; },
     41u, false, 0, 0, 0, 0, 0, 0, 0},
    {"IpHeaderLengthBelowTwentyIsIgnored",
     [](FrameBuilder& b) { b.ihlWords = 3; b.protocol = 17; },
     {}, false, 0, 0, 0, 0, 0, 0, 0},
    {"OffloadedFrameAbove32767Bytes",
     [](FrameBuilder& b) { b.payload = QByteArray(40000, 'd'); },
     {}, true, 6, 20, 20, 0, 0, 54, 40000},
    {"OffloadedResponseAbove32767Bytes",
     [](FrameBuilder& b) { b.payload = "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(39981, 'd'); },
     {}, true, 6, 20, 20, 19, 0, 73, 39981},
    {"OffloadedFrameAbove65535WithTotalLengthZero",
     [](FrameBuilder& b) { b.payload = QByteArray(70000, 'd'); b.totalLength = 0; },
     {}, true, 6, 20, 20, 0, 0, 54, 70000},
    {"OffloadedGetAbove65535WithTotalLengthZero",
     [](FrameBuilder& b) { b.payload = "GET " + QByteArray(69996, 'd'); b.totalLength = 0; },
     {}, true, 6, 20, 20, 70000, 0, 70054, 0},
    {"OffloadedIcmpWithTotalLengthZero",
     [](FrameBuilder& b) { b.protocol = 1; b.payload = QByteArray(66000, 'p'); b.totalLength = 0; },
     {}, true, 1, 20, 66000, 0, 0, 66034, 0},
    {"TotalLengthLargerThanFrameMeansNoPadding",
     [](FrameBuilder& b) { b.protocol = 17; b.payload = QByteArray(50, 'u'); b.totalLength = 1500; },
     {}, true, 17, 20, 8, 0, 0, 42, 50},
    {"TotalLengthBelowIpHeaderMeansNoPadding",
     [](FrameBuilder& b) { b.protocol = 1; b.payload = QByteArray(30, 'p'); b.totalLength = 8; },
     {}, true, 1, 20, 30, 0, 0, 64, 0},
    // With IP options the datagram cannot end inside its own header: such a total length is
    // damaged and says nothing about padding.
    {"TotalLengthInsideIpOptionsMeansNoPadding",
     [](FrameBuilder& b) { b.protocol = 17; b.ihlWords = 6; b.payload = QByteArray(30, 'u'); b.totalLength = 22; },
     {}, true, 17, 24, 8, 0, 0, 46, 30},
    {"TotalLengthOfTwentyWithLongIpHeaderMeansNoPadding",
     [](FrameBuilder& b) { b.ihlWords = 15; b.payload = QByteArray(12, 't'); b.totalLength = 20; },
     {}, true, 6, 60, 20, 0, 0, 94, 12},
    {"TotalLengthEqualToIpHeaderWithOptions",
     [](FrameBuilder& b) { b.protocol = 1; b.ihlWords = 6; b.payload = QByteArray(8, 'p'); b.totalLength = 24; },
     {}, true, 1, 24, 0, 0, 8, 46, 0},
    {"TotalLengthShorterThanTcpHeaderNeverGivesNegativeData",
     [](FrameBuilder& b) { b.totalLength = 30; b.trailer = zeros(6); },
     {}, true, 6, 20, 20, 0, 16, 60, 0},
    {"HeadersBeyondTotalLengthEndWithTheFrame",
     [](FrameBuilder& b) { b.tcpWords = 15; b.totalLength = 40; },
     {}, true, 6, 20, 60, 0, 40, 94, 0},
    {"TruncatedCaptureGetCoversWholeDatagram",
     [](FrameBuilder& b) { b.payload = "GET /" + QByteArray(1455, 'a'); },
     200u, true, 6, 20, 20, 1460, 0, 1514, 0},
    {"TruncatedCaptureResponseWithoutBlankLineCoversWholeDatagram",
     [](FrameBuilder& b) { b.payload = "HTTP/1.1 200 OK\r\n" + QByteArray(1443, 'h'); },
     100u, true, 6, 20, 20, 1460, 0, 1514, 0},
    {"TruncatedCaptureBodyCountsAsData",
     [](FrameBuilder& b) { b.payload = QByteArray(1460, 'b'); },
     60u, true, 6, 20, 20, 0, 0, 54, 1460},
    {"SnapLengthCapturedUdpOfLargeFrame",
     [](FrameBuilder& b) { b.protocol = 17; b.payload = QByteArray(65000, 'u'); b.totalLength = 65028; },
     96u, true, 17, 20, 8, 0, 0, 42, 65000},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Frames, DecoderTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PacketDecoder, TcpDataOffsetBeyondFrameHeaderBytes) {
    // Header length fields that point past the frame never make data negative.
    FrameBuilder b;
    QByteArray bytes = b.build();     // 54 bytes: a bare 20-byte TCP header
    bytes[14 + 20 + 12] = char(0xF0); // claims 60 bytes of TCP header
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const DecodedFrame f =
        PacketDecoder::decode(quint32(bytes.size()), quint32(bytes.size()), data);
    ASSERT_TRUE(f.counted);
    EXPECT_EQ(f.headerBytes, bytes.size());
    EXPECT_EQ(f.dataBytes, 0);
}

TEST(PacketDecoder, NullDataIsNotCounted) {
    EXPECT_FALSE(PacketDecoder::decode(60, 60, nullptr).counted);
}

TEST(PacketDecoder, CaptureLongerThanFrameReadsOnlyTheFrame) {
    FrameBuilder b;
    b.protocol = 17;
    QByteArray bytes = b.build(); // 42 bytes of UDP
    bytes += QByteArray(20, 'z');
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    // A damaged record claims 62 captured bytes of a 40-byte frame: too short for UDP.
    EXPECT_FALSE(PacketDecoder::decode(40, quint32(bytes.size()), data).counted);
}

} // namespace
