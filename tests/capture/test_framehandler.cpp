#include "capture/FrameHandler.h"
#include "support/FrameBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr quint32 ip(int a, int b, int c, int d) {
    return (quint32(a) << 24) | (quint32(b) << 16) | (quint32(c) << 8) | quint32(d);
}

/// Keeps a built frame alive while it is handed out.
struct Frame {
    QByteArray bytes;
    Packet packet() const { return FrameBuilder::packetOf(bytes); }
};

Frame frame(quint8 protocol, quint32 source, quint32 destination, int payload = 10) {
    FrameBuilder b;
    b.protocol = protocol;
    b.source = source;
    b.destination = destination;
    b.payload = QByteArray(payload, 'x');
    return Frame{b.build()};
}

/// Takes part in the frame path as the session does, noting every call.
struct Recorder {
    explicit Recorder(FrameHandler& handler) : h(handler) {}
    bool listing() const { return true; }
    ShownAddress nameOf(quint32 address) {
        calls.push_back("name");
        return names.intern(QStringLiteral("host-") + FrameHandler::addressText(address));
    }
    ShownAddress nameOf(const IpAddress& address) {
        calls.push_back("name");
        return names.intern(QStringLiteral("host-") + address.text());
    }
    void listPacket(const clsPacketInfo& entry) {
        // Listed before anything is counted.
        EXPECT_EQ(h.packetCount, countedBefore);
        calls.push_back("listPacket");
        listed = entry;
    }
    void counted(const clsUsageRec& increment) {
        // After both counter sets and the packet count.
        EXPECT_EQ(h.packetCount, countedBefore + 1);
        EXPECT_EQ(h.counters.transfer(TrafficCounters::Total),
                  h.stopwatchCounters.transfer(TrafficCounters::Total));
        calls.push_back("counted");
        logged = increment;
        countedBefore = h.packetCount;
    }
    void run(const Packet& packet) { h.handle(packet, *this); }

    FrameHandler& h;
    double countedBefore = 0;
    std::vector<std::string> calls;
    NameIds names;
    clsPacketInfo listed;
    clsUsageRec logged;
};

struct DirectionCase {
    const char* name;
    QStringList local;
    quint32 source, destination;
    Direction expected;
};

class DirectionTable : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(DirectionTable, Classifies) {
    const DirectionCase& c = GetParam();
    FrameHandler h;
    h.setLocalAddresses(c.local);
    EXPECT_EQ(h.classify(c.source, c.destination), c.expected);

    // The counters take the same row.
    h.OnPacket(frame(17, c.source, c.destination).packet());
    const auto row = TrafficCounters::rowOf(c.expected);
    EXPECT_EQ(h.counters.transfer(row), 52.0);
    EXPECT_EQ(h.counters.transfer(TrafficCounters::Total), 52.0);
}

// clang-format off
const DirectionCase kDirections[] = {
    {"SourceLocalIsUpload", {"10.0.0.1"}, ip(10,0,0,1), ip(8,8,8,8), Direction::Upload},
    {"DestinationLocalIsDownload", {"10.0.0.1"}, ip(8,8,8,8), ip(10,0,0,1), Direction::Download},
    {"NeitherIsPassby", {"10.0.0.1"}, ip(8,8,8,8), ip(9,9,9,9), Direction::Passby},
    {"SecondAddressMatches", {"10.0.0.1", "192.168.1.5"}, ip(192,168,1,5), ip(8,8,8,8), Direction::Upload},
    {"BothLocalFirstElementDecidesSource", {"10.0.0.2", "10.0.0.1"}, ip(10,0,0,1), ip(10,0,0,2), Direction::Download},
    {"BothLocalSourceTestedFirst", {"10.0.0.1", "10.0.0.2"}, ip(10,0,0,1), ip(10,0,0,2), Direction::Upload},
    {"NoAddressIsPassby", {}, ip(10,0,0,1), ip(10,0,0,2), Direction::Passby},
    {"EmptyEntryMatchesNothing", {""}, ip(0,0,0,0), ip(0,0,0,0), Direction::Passby},
    {"EmptyEntryThenAddress", {"", "10.0.0.2"}, ip(10,0,0,1), ip(10,0,0,2), Direction::Download},
    {"NonCanonicalTextMatchesNothing", {"010.0.0.1", "10.0.0.1.", " 10.0.0.1"}, ip(10,0,0,1), ip(1,1,1,1), Direction::Passby},
    {"BroadcastDestination", {"10.0.0.1"}, ip(10,0,0,1), ip(255,255,255,255), Direction::Upload},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Frames, DirectionTable, ::testing::ValuesIn(kDirections),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameHandlerAddresses, ParsesOnlyCanonicalDottedQuads) {
    quint32 a = 0;
    EXPECT_TRUE(FrameHandler::parseAddress("192.168.0.255", &a));
    EXPECT_EQ(a, ip(192, 168, 0, 255));
    EXPECT_TRUE(FrameHandler::parseAddress("0.0.0.0", &a));
    EXPECT_EQ(a, 0u);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "01.2.3.4", "a.b.c.d",
                            "1.2.3.4 ", "1000.1.1.1"})
        EXPECT_FALSE(FrameHandler::parseAddress(QString::fromLatin1(bad), &a)) << bad;
    EXPECT_EQ(FrameHandler::addressText(ip(10, 231, 20, 1)), QStringLiteral("10.231.20.1"));
    EXPECT_EQ(FrameHandler::addressText(ip(255, 0, 7, 0)), QStringLiteral("255.0.7.0"));
}

struct GateCase {
    const char* name;
    quint8 protocol;
    bool tcp, udp, icmp;
    bool counted;
};

class GateTable : public ::testing::TestWithParam<GateCase> {};

TEST_P(GateTable, CountsOnlySwitchedOnProtocols) {
    const GateCase& c = GetParam();
    FrameHandler h;
    h.displayTCP = c.tcp;
    h.displayUDP = c.udp;
    h.displayICMP = c.icmp;
    Recorder r(h);
    r.run(frame(c.protocol, ip(1, 1, 1, 1), ip(2, 2, 2, 2)).packet());
    EXPECT_EQ(h.passesGate(c.protocol), c.counted);
    EXPECT_EQ(h.packetCount, c.counted ? 1.0 : 0.0);
    // Names are asked for before the gate (a switched-off protocol's addresses too).
    const std::vector<std::string> counted = {"name", "name", "listPacket", "counted"};
    const std::vector<std::string> gated = {"name", "name"};
    EXPECT_EQ(r.calls, c.counted ? counted : gated);
    EXPECT_EQ(h.counters.transfer(TrafficCounters::Total) > 0, c.counted);
    EXPECT_EQ(h.stopwatchCounters.transfer(TrafficCounters::Total) > 0, c.counted);
}

// clang-format off
const GateCase kGates[] = {
    {"TcpOn", 6, true, false, false, true},
    {"TcpOff", 6, false, true, true, false},
    {"UdpOn", 17, false, true, false, true},
    {"UdpOffDnsReplyIgnored", 17, true, false, true, false},
    {"IcmpOn", 1, false, false, true, true},
    {"IcmpOff", 1, true, true, false, false},
    {"IgmpFollowsIcmp", 2, false, false, true, true},
    {"IgmpOff", 2, true, true, false, false},
    {"GreNever", 47, true, true, true, false},
    {"EspNever", 50, true, true, true, false},
    {"SctpNever", 132, true, true, true, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Protocols, GateTable, ::testing::ValuesIn(kGates),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameHandler, RunsThePathInFixedOrder) {
    FrameHandler h;
    h.setLocalAddresses({"10.0.0.1"});
    h.currentDay = QDate(2026, 12, 8);
    Recorder r(h);
    FrameBuilder b;
    b.source = ip(10, 0, 0, 1);
    b.destination = ip(93, 184, 216, 34);
    b.sourcePort = 51000;
    b.destinationPort = 80;
    b.payload = "GET / HTTP/1.1\r\n\r\n";
    b.trailer = QByteArray(2, '\0');
    const Frame f{b.build()};
    r.run(f.packet());

    EXPECT_EQ(r.calls, (std::vector<std::string>{"name", "name", "listPacket", "counted"}));
    EXPECT_EQ(r.names.text(r.listed.srcAddr), QStringLiteral("host-10.0.0.1"));
    EXPECT_EQ(r.names.text(r.listed.destAddr), QStringLiteral("host-93.184.216.34"));
    EXPECT_EQ(r.listed.srcPort, 51000);
    EXPECT_EQ(r.listed.destPort, 80);
    EXPECT_EQ(r.listed.bytes, 0.0); // a GET is all header
    EXPECT_EQ(r.listed.pkType, 6);

    const double length = f.bytes.size();
    EXPECT_EQ(r.logged.usageDate, QDate(2026, 12, 8));
    EXPECT_EQ(r.logged.dataTotalUsage, length);
    EXPECT_EQ(r.logged.dataSent, length);
    EXPECT_EQ(r.logged.dataReceived, 0.0);
    EXPECT_EQ(r.logged.dataPassthru, 0.0);
    EXPECT_GT(h.stopwatchCounters.transfer(TrafficCounters::Sent), 0.0);
}

TEST(FrameHandler, IgnoresFramesThatAreNotCounted) {
    FrameHandler h;
    Recorder r(h);
    const Frame shortFrame{QByteArray(20, '\x45')};
    r.run(shortFrame.packet());
    FrameBuilder arp; // an ARP frame whose first byte reads like IPv4
    QByteArray bytes = arp.build();
    bytes[12] = char(0x08);
    bytes[13] = char(0x06);
    r.run(Frame{bytes}.packet());
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(h.packetCount, 0.0);
    EXPECT_EQ(h.counters, TrafficCounters());
}

struct Ipv6Case {
    const char* name;
    bool countIPv6, icmp;
    quint8 protocol;
    const char *source, *destination;
    int expected; ///< the Direction counted, or -1: not counted
};

class Ipv6Table : public ::testing::TestWithParam<Ipv6Case> {};

TEST_P(Ipv6Table, CountsOnlyWhenAskedAndNotesTheRest) {
    const Ipv6Case& c = GetParam();
    FrameHandler h;
    h.countIPv6 = c.countIPv6;
    h.displayICMP = c.icmp;
    h.setLocalAddresses({"10.0.0.1", "fd00:77::1", "2001:db8::5"});
    Recorder r(h);
    const Frame f{FrameBuilder::ipv6(c.source, c.destination, 20, c.protocol)};
    r.run(f.packet());

    const double length = f.bytes.size();
    EXPECT_EQ(h.ipv6NotCounted.frames, c.countIPv6 ? 0u : 1u);
    EXPECT_EQ(h.ipv6NotCounted.bytes, c.countIPv6 ? 0u : quint64(length));
    EXPECT_EQ(h.packetCount, c.expected >= 0 ? 1.0 : 0.0);
    if (c.expected < 0)
        return;
    const auto row = TrafficCounters::rowOf(Direction(c.expected));
    EXPECT_EQ(h.counters.transfer(row), length);
    EXPECT_EQ(h.counters.transfer(TrafficCounters::Total), length);
    EXPECT_EQ(r.names.text(r.listed.srcAddr), QStringLiteral("host-") + QLatin1String(c.source));
    EXPECT_EQ(r.names.text(r.listed.destAddr),
              QStringLiteral("host-") + QLatin1String(c.destination));
    EXPECT_EQ(r.listed.pkType, c.protocol);
    EXPECT_EQ(r.listed.bytes, c.protocol == 17 ? 20.0 : 0.0); // ICMPv6 is all header
}

// clang-format off
const Ipv6Case kIpv6[] = {
    {"OffOnlyNoted", false, true, 17, "fd00:77::1", "2001:db8::9", -1},
    {"OffNotedWhateverTheSwitches", false, false, 58, "2001:db8::9", "fd00:77::1", -1},
    {"OnUploadFromLocal", true, true, 17, "fd00:77::1", "2001:db8::9", int(Direction::Upload)},
    {"OnDownloadToSecondLocal", true, true, 17, "2001:db8::9", "2001:db8::5", int(Direction::Download)},
    {"OnPassby", true, true, 17, "2001:db8::9", "2001:db8::a", int(Direction::Passby)},
    {"OnIcmpv6Counted", true, true, 58, "2001:db8::9", "fd00:77::1", int(Direction::Download)},
    {"OnIcmpv6SwitchedOff", true, false, 58, "2001:db8::9", "fd00:77::1", -1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Frames, Ipv6Table, ::testing::ValuesIn(kIpv6),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameHandler, CountersKeepTheirInvariantsOverMixedTraffic) {
    FrameHandler h;
    h.setLocalAddresses({"10.0.0.1", "10.0.0.5"});
    const quint32 local = ip(10, 0, 0, 1), other = ip(10, 0, 0, 9), local2 = ip(10, 0, 0, 5);
    double expectedReceived = 0;
    for (int i = 0; i < 200; ++i) {
        const quint8 protocol = std::array<quint8, 5>{6, 17, 1, 2, 47}[std::size_t(i % 5)];
        const quint32 s = (i % 3 == 0) ? local : (i % 3 == 1) ? other : local2;
        const quint32 d = (i % 7 == 0) ? other : local;
        const Frame f = frame(protocol, s, d, i * 7 % 300);
        // 10.0.0.1 is tested first: it receives from 10.0.0.5 as well.
        if (protocol != 47 && s != local && d == local)
            expectedReceived += f.bytes.size();
        h.OnPacket(f.packet());
    }
    for (const TrafficCounters* c : {&h.counters, &h.stopwatchCounters}) {
        for (int r = 0; r < TrafficCounters::kRows; ++r) {
            const auto row = TrafficCounters::Row(r);
            EXPECT_EQ(c->value(row, TrafficCounters::Transfer),
                      c->value(row, TrafficCounters::Data) +
                          c->value(row, TrafficCounters::Headers));
        }
        for (int k = 0; k < TrafficCounters::kColumns; ++k) {
            const auto col = TrafficCounters::Column(k);
            EXPECT_EQ(c->value(TrafficCounters::Total, col),
                      c->value(TrafficCounters::Received, col) +
                          c->value(TrafficCounters::Sent, col) +
                          c->value(TrafficCounters::Passthru, col));
        }
    }
    EXPECT_EQ(h.counters.transfer(TrafficCounters::Received), expectedReceived);
    EXPECT_EQ(h.packetCount, 160.0);
    h.counters.reset();
    EXPECT_EQ(h.counters, TrafficCounters());
    EXPECT_GT(h.stopwatchCounters.transfer(TrafficCounters::Total), 0.0);
}

} // namespace
