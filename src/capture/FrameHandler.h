#pragma once

#include "capture/PacketDecoder.h"
#include "capture/TrafficCounters.h"
#include "connections/clsPacketInfo.h"
#include "platform/CaptureTypes.h"
#include "platform/IpAddress.h"
#include "usage/clsUsageRec.h"

#include <QDate>
#include <QStringList>

#include <vector>

/// The frame path: decodes each captured frame, classifies its direction, gates it by protocol
/// and, for a counted frame, in this order: the packet list's entry, both counter sets (Total
/// row, then the direction row), packetCount += 1, the usage increment.
///
/// IPv6 frames take the same path while countIPv6 is on (ICMPv6 under displayICMP). While it is
/// off, every IPv6 frame, counted or not, whatever its protocol and the switches, only adds to
/// ipv6NotCounted.
///
/// handle() runs the path for a consumer that takes part in plain calls; the monitoring session
/// (src/monitor/MonitorSession.cpp) is the program's:
/// @code
/// struct Consumer {
///     bool listing() const;                        // build entries for the packet list?
///     ShownAddress nameOf(quint32 address);        // what an IPv4 address shows as
///     ShownAddress nameOf(const IpAddress& address); // the same of an IPv6 address
///     void listPacket(const clsPacketInfo& entry); // before anything is counted
///     void counted(const clsUsageRec& increment);  // after both counter sets and packetCount
/// };
/// frames.handle(packet, consumer);
/// @endcode
/// As CaptureEvents on its own (OnPacket) it only counts: tests, the fuzzer and measurements.
class FrameHandler final : public CaptureEvents {
    Q_DISABLE_COPY_MOVE(FrameHandler)

public:
    FrameHandler() = default;

    /// Runs one frame through the path with the consumer (see above). Whatever the consumer
    /// throws ends the frame's handling and reaches the caller; what was counted stays counted.
    template <typename Consumer> void handle(const Packet& packet, Consumer& consumer) {
        const DecodedFrame f = PacketDecoder::decode(packet.LinkType, packet.PacketLength,
                                                     packet.CaptureLength, packet.Data);
        if (f.family != 4) [[unlikely]] {
            if (f.family == 6)
                handleIpv6(packet, f, consumer);
            return;
        }
        if (!f.counted)
            return;
        clsPacketInfo entry;
        const bool listing = consumer.listing();
        if (listing) {
            entry.srcAddr = consumer.nameOf(f.sourceAddress);
            entry.destAddr = consumer.nameOf(f.destinationAddress);
            entry.srcPort = f.sourcePort;
            entry.destPort = f.destinationPort;
            entry.bytes = double(f.dataBytes);
            entry.pkType = f.protocol;
        }
        const Direction direction = classify(f.sourceAddress, f.destinationAddress);
        if (!passesGate(f.protocol))
            return;
        if (listing)
            consumer.listPacket(entry);
        consumer.counted(count(direction, packet.PacketLength, f));
    }

    /// The IPv6 part of handle(): counted like IPv4 while countIPv6 is on, else only noted.
    template <typename Consumer>
    void handleIpv6(const Packet& packet, const DecodedFrame& f, Consumer& consumer) {
        if (!countIPv6) {
            ipv6NotCounted.frames += 1;
            ipv6NotCounted.bytes += packet.PacketLength;
            return;
        }
        if (!f.counted)
            return;
        const IpAddress source = IpAddress::v6(f.source6);
        const IpAddress destination = IpAddress::v6(f.destination6);
        clsPacketInfo entry;
        const bool listing = consumer.listing();
        if (listing) {
            entry.srcAddr = consumer.nameOf(source);
            entry.destAddr = consumer.nameOf(destination);
            entry.srcPort = f.sourcePort;
            entry.destPort = f.destinationPort;
            entry.bytes = double(f.dataBytes);
            entry.pkType = f.protocol;
        }
        const Direction direction = classify(source, destination);
        if (!passesGate(f.protocol, 6))
            return;
        if (listing)
            consumer.listPacket(entry);
        consumer.counted(count(direction, packet.PacketLength, f));
    }

    /// Counts one frame (no packet list, no usage).
    void OnPacket(const Packet& packet) override;
    void OnCaptureAborted() override {}

    /// Sets the local addresses (IPv4 dotted quads and IPv6 texts, in the adapter's order);
    /// entries that are neither (among them the empty entry of an adapter without address)
    /// match nothing.
    void setLocalAddresses(const QStringList& addresses);
    /// The local addresses as given.
    const QStringList& localAddresses() const { return localAddresses_; }

    /// Direction of a frame: the first local address equal to the source (upload) or else the
    /// destination (download) decides; no match is pass-by.
    Direction classify(quint32 sourceAddress, quint32 destinationAddress) const;
    /// The same for IPv6 addresses, against the local IPv6 addresses in their order.
    Direction classify(const IpAddress& source, const IpAddress& destination) const;
    /// True when frames of this IP protocol (of IPv4, or of IPv6 when family is 6) are counted
    /// under the current switches.
    bool passesGate(quint8 protocol, int family = 4) const;

    /// Parses a canonical dotted quad ("10.0.0.1", no leading zeros); false otherwise.
    static bool parseAddress(const QString& text, quint32* address);
    /// Dotted-quad text of an address.
    static QString addressText(quint32 address);

    /// Adds a counted frame of `length` bytes on the wire to both counter sets (Total row, then
    /// the direction row) and to the packet count; returns its usage increment on currentDay.
    clsUsageRec count(Direction direction, double length, const DecodedFrame& frame) {
        const double data = double(frame.dataBytes);
        const double headers = double(frame.headerBytes);
        clsUsageRec record;
        record.dataTotalUsage = length;
        counters.add(direction, length, data, headers);
        stopwatchCounters.add(direction, length, data, headers);
        switch (direction) {
        case Direction::Upload:
            record.dataSent = length;
            break;
        case Direction::Download:
            record.dataReceived = length;
            break;
        case Direction::Passby:
            record.dataPassthru = length;
            break;
        }
        packetCount += 1;
        record.usageDate = currentDay;
        return record;
    }

    TrafficCounters counters;          ///< the statistics counters, zeroed by the reset
    TrafficCounters stopwatchCounters; ///< the stopwatch's set, never reset
    double packetCount = 0;            ///< counted frames since the reset

    bool displayTCP = true;  ///< count TCP (protocol 6)
    bool displayUDP = true;  ///< count UDP (protocol 17)
    bool displayICMP = true; ///< count ICMP and IGMP (protocols 1 and 2), and ICMPv6 (58)
    bool countIPv6 = false;  ///< count IPv6 frames like IPv4 ones
    QDate currentDay;        ///< the accounting day given to usage records

    /// IPv6 frames seen while countIPv6 was off, and their bytes on the wire: since the start,
    /// never reset.
    struct NotCounted {
        quint64 frames = 0;
        quint64 bytes = 0;
    };
    NotCounted ipv6NotCounted;

private:
    struct LocalAddress {
        quint32 address = 0;
        bool valid = false;
    };

    QStringList localAddresses_;
    std::vector<LocalAddress> parsedLocal_;
    std::vector<IpAddress> parsedLocal6_; ///< the IPv6 ones, in the list's order
};
