// The decoder on every link type it reads, and IPv6 with its extension headers: which frames
// count, and the exact split of each into link, IP, transport and data bytes.
#include "capture/FrameBuilder.h"
#include "capture/PacketDecoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}
QByteArray be16(int v) {
    return QByteArray(1, char(v >> 8)) + char(v & 0xFF);
}

/// An IPv4 UDP datagram (20 + 8 + 10 bytes) from 10.0.0.1 to 10.0.0.2, ports 40000 -> 80.
QByteArray ipv4Udp() {
    FrameBuilder b;
    b.protocol = 17;
    b.payload = QByteArray(10, 'd');
    return b.build().mid(14);
}

/// An IPv6 header (fd00::1 -> fd00::2) with the given next header and extension bytes, then
/// `upper`; the payload length covers both unless given.
QByteArray ipv6(int next, const QByteArray& extensions, const QByteArray& upper,
                int payloadLength = -1) {
    QByteArray h = hex("60000000");
    h += be16(payloadLength >= 0 ? payloadLength : int(extensions.size() + upper.size()));
    h += char(next);
    h += char(64);
    h += hex("fd000000000000000000000000000001");
    h += hex("fd000000000000000000000000000002");
    return h + extensions + upper;
}

QByteArray udp(int data) {
    return hex("9c40003500") + char(8 + data) + hex("0000") + QByteArray(data, 'u');
}
QByteArray tcpAck() {
    return hex("9c4000500000000100000001") + hex("50100200") + hex("00000000");
}
QByteArray icmpv6Echo(int data) {
    return hex("80000000") + hex("00010001") + QByteArray(data, 'e');
}
/// An extension header of `bytes` (a multiple of 8) whose Next Header is `next` and whose
/// length byte is `lengthField`.
QByteArray extension(int next, int lengthField, int bytes) {
    QByteArray e(bytes, '\0');
    e[0] = char(next);
    e[1] = char(lengthField);
    return e;
}

QByteArray ether(int type, const QByteArray& payload, int tags = 0) {
    QByteArray f = hex("020000000002020000000001");
    for (int i = 0; i < tags; ++i)
        f += be16(i == 0 && tags > 1 ? 0x88A8 : 0x8100) + be16(100 + i);
    return f + be16(type) + payload;
}
QByteArray cooked1(int protocol, const QByteArray& payload) {
    return hex("0000000100060200000000010000") + be16(protocol) + payload;
}
QByteArray cooked2(int protocol, const QByteArray& payload) {
    return be16(protocol) + hex("0000") + hex("00000002") + hex("0001") + char(0) + char(6) +
           hex("0200000000010000") + payload;
}

struct LinkCase {
    const char* name;
    qint32 linkType;
    QByteArray frame;
    int captured; // -1: the whole frame
    bool counted;
    int family;
    int protocol;
    qint64 link, ip, transport, padding, headerBytes, dataBytes;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name << " (link type " << c.linkType << ", " << c.frame.size() << " bytes)";
}

const std::vector<LinkCase>& linkCases() {
    static const std::vector<LinkCase> cases = {
        // name, link type, frame, captured, counted, family, protocol,
        // link, ip, transport, padding, header bytes, data bytes
        {"EthernetIpv4", 1, ether(0x0800, ipv4Udp()), -1, true, 4, 17, 14, 20, 8, 0, 42, 10},
        {"EthernetOneTag", 1, ether(0x0800, ipv4Udp(), 1), -1, true, 4, 17, 18, 20, 8, 0, 46, 10},
        {"EthernetQinQ", 1, ether(0x0800, ipv4Udp(), 2), -1, true, 4, 17, 22, 20, 8, 0, 50, 10},
        {"EthernetTenTags", 1, ether(0x0800, ipv4Udp(), 10), -1, true, 4, 17, 54, 20, 8, 0, 82, 10},
        {"EthernetTenTagsCutShort", 1, ether(0x0800, ipv4Udp(), 10), 40, false, 0, 0, 0, 0, 0, 0,
         0, 0},
        {"EthernetTrailer", 1, ether(0x0800, ipv4Udp() + QByteArray(6, '\0')), -1, true, 4, 17, 14,
         20, 8, 6, 48, 10},
        {"EthernetArpLookingLikeIpv4", 1, ether(0x0806, ipv4Udp()), -1, false, 0, 0, 0, 0, 0, 0, 0,
         0},
        {"Ethernet8023LengthField", 1, ether(0x002E, ipv4Udp()), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"EthernetIpv6", 1, ether(0x86DD, ipv6(17, {}, udp(10))), -1, true, 6, 17, 14, 40, 8, 0, 62,
         10},
        {"EthernetTaggedIpv6", 1, ether(0x86DD, ipv6(6, {}, tcpAck()), 1), -1, true, 6, 6, 18, 40,
         20, 0, 78, 0},
        {"EthernetIpv6Padded", 1, ether(0x86DD, ipv6(17, {}, udp(2)) + QByteArray(6, '\0')), -1,
         true, 6, 17, 14, 40, 8, 6, 68, 2},
        {"EthernetIpv6CutInItsHeader", 1, ether(0x86DD, ipv6(17, {}, udp(10))), 14 + 30, false, 6,
         0, 0, 0, 0, 0, 0, 0},
        {"EthernetIpv6UdpCutShort", 1, ether(0x86DD, ipv6(17, {}, udp(10))), 14 + 40 + 7, false, 6,
         0, 0, 0, 0, 0, 0, 0},
        {"EthernetIpv4SaysIpv6", 1, ether(0x86DD, ipv4Udp()), -1, false, 6, 0, 0, 0, 0, 0, 0, 0},
        {"CookedIpv4", 113, cooked1(0x0800, ipv4Udp()), -1, true, 4, 17, 16, 20, 8, 0, 44, 10},
        {"CookedIpv6Ack", 113, cooked1(0x86DD, ipv6(6, {}, tcpAck())), -1, true, 6, 6, 16, 40, 20,
         0, 76, 0},
        {"CookedArp", 113, cooked1(0x0806, ipv4Udp()), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"CookedHeaderCutShort", 113, cooked1(0x0800, ipv4Udp()), 15, false, 0, 0, 0, 0, 0, 0, 0,
         0},
        {"Cooked2Ipv4", 276, cooked2(0x0800, ipv4Udp()), -1, true, 4, 17, 20, 20, 8, 0, 48, 10},
        {"Cooked2Ipv6Icmp", 276, cooked2(0x86DD, ipv6(58, {}, icmpv6Echo(56))), -1, true, 6, 58, 20,
         40, 64, 0, 124, 0},
        {"Cooked2HeaderCutShort", 276, cooked2(0x0800, ipv4Udp()), 19, false, 0, 0, 0, 0, 0, 0, 0,
         0},
        {"RawIpv4", 12, ipv4Udp(), -1, true, 4, 17, 0, 20, 8, 0, 28, 10},
        {"RawIpv6Icmp", 12, ipv6(58, {}, icmpv6Echo(56)), -1, true, 6, 58, 0, 40, 64, 0, 104, 0},
        {"RawFileIpv6Udp", 101, ipv6(17, {}, udp(10)), -1, true, 6, 17, 0, 40, 8, 0, 48, 10},
        {"RawVersionFive", 12, hex("55") + ipv4Udp().mid(1), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"RawEmpty", 12, QByteArray(), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"UnknownLinkType", 147, ether(0x0800, ipv4Udp()), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        // IPv6 extension chains and fragments (raw links: no link header).
        {"HopByHop", 12, ipv6(0, extension(17, 0, 8), udp(10)), -1, true, 6, 17, 0, 48, 8, 0, 56,
         10},
        {"HopRoutingDestinationTcp", 12,
         ipv6(0, extension(43, 0, 8) + extension(60, 2, 24) + extension(6, 1, 16), tcpAck()), -1,
         true, 6, 6, 0, 88, 20, 0, 108, 0},
        {"FirstFragmentUdp", 12, ipv6(44, extension(17, 0, 8), udp(10)), -1, true, 6, 17, 0, 48, 8,
         0, 56, 10},
        {"LaterFragmentReadAsUdp", 12, ipv6(44, hex("1100 0100 00000001"), QByteArray(16, 'x')),
         -1, true, 6, 17, 0, 48, 8, 0, 56, 8},
        {"AuthenticationHeaderTcp", 12, ipv6(51, extension(6, 4, 24), tcpAck()), -1, true, 6, 6, 0,
         64, 20, 0, 84, 0},
        {"NoNextHeader", 12, ipv6(59, {}, QByteArray(8, 'z')), -1, false, 6, 0, 0, 0, 0, 0, 0, 0},
        {"Esp", 12, ipv6(50, {}, QByteArray(24, 'z')), -1, false, 6, 0, 0, 0, 0, 0, 0, 0},
        {"IcmpOfIpv4InIpv6", 12, ipv6(1, {}, QByteArray(8, 'z')), -1, false, 6, 0, 0, 0, 0, 0, 0, 0},
        {"ChainPastTheCapture", 12, ipv6(0, extension(17, 255, 8), udp(10)), -1, false, 6, 0, 0, 0,
         0, 0, 0, 0},
        {"ChainCutInAHeader", 12, ipv6(0, extension(43, 0, 8) + extension(17, 0, 8), udp(10)),
         40 + 8 + 1, false, 6, 0, 0, 0, 0, 0, 0, 0},
        {"PayloadLengthZero", 12, ipv6(17, {}, udp(10), 0), -1, true, 6, 17, 0, 40, 8, 0, 48, 10},
        {"PayloadLengthBeyondFrame", 12, ipv6(17, {}, udp(10), 4000), -1, true, 6, 17, 0, 40, 8, 0,
         48, 10},
    };
    return cases;
}

class LinkTable : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkTable, SplitsEveryLinkTypesFrames) {
    const LinkCase& c = GetParam();
    const int captured = c.captured >= 0 ? c.captured : int(c.frame.size());
    // Exactly the captured bytes, so that reading past them shows under the sanitizers.
    const std::vector<unsigned char> data(c.frame.begin(), c.frame.begin() + captured);
    const DecodedFrame f = PacketDecoder::decode(c.linkType, quint32(c.frame.size()),
                                                 quint32(captured), data.data());
    EXPECT_EQ(f.counted, c.counted);
    EXPECT_EQ(f.family, c.family);
    if (!c.counted)
        return;
    EXPECT_EQ(f.protocol, c.protocol);
    EXPECT_EQ(f.linkHeaderLength, c.link);
    EXPECT_EQ(f.ipHeaderLength, c.ip);
    EXPECT_EQ(f.transportHeaderLength, c.transport);
    EXPECT_EQ(f.padding, c.padding);
    EXPECT_EQ(f.headerBytes, c.headerBytes);
    EXPECT_EQ(f.dataBytes, c.dataBytes);
    EXPECT_EQ(f.headerBytes + f.dataBytes, c.frame.size());
    if (c.family == 6) {
        EXPECT_EQ(f.source6[0], 0xFD);
        EXPECT_EQ(f.source6[15], 1);
        EXPECT_EQ(f.destination6[15], 2);
    } else {
        EXPECT_EQ(f.sourceAddress, 0x0A000001u);
        EXPECT_EQ(f.destinationAddress, 0x0A000002u);
    }
    if (c.protocol == 17 && c.name != std::string("LaterFragmentReadAsUdp")) {
        EXPECT_EQ(f.sourcePort, 40000);
        EXPECT_EQ(f.destinationPort, c.family == 6 ? 53 : 80);
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, LinkTable, ::testing::ValuesIn(linkCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LinkDecoder, AHundredChainedExtensionHeadersAreNotCounted) {
    // Far more than any real chain (each header may appear once, Destination Options twice):
    // the frame is no traffic of ours, whatever its length.
    QByteArray chain;
    for (int i = 0; i < 100; ++i)
        chain += extension(i == 99 ? 17 : 60, 0, 8);
    const QByteArray frame = ipv6(60, chain, udp(10));
    const auto* data = reinterpret_cast<const unsigned char*>(frame.constData());
    const DecodedFrame f =
        PacketDecoder::decode(12, quint32(frame.size()), quint32(frame.size()), data);
    EXPECT_FALSE(f.counted);
    EXPECT_EQ(f.family, 6);
}

} // namespace
