#pragma once

#include "platform/LinkTypes.h"

#include <QtGlobal>

#include <array>


/// What the decoder found in one frame. All lengths are bytes; headerBytes + dataBytes equals
/// the frame length for every counted frame.
struct DecodedFrame {
    bool counted = false;       ///< false: not IP, not TCP/UDP/ICMP/IGMP, or too short
    quint8 family = 0;          ///< 4 or 6 when the link layer carries IP (counted or not), else 0
    quint8 protocol = 0;        ///< IP protocol number (for IPv6 the first after the extensions)
    qint64 linkHeaderLength = 0;      ///< link header: Ethernet with its tags, cooked, or none
    qint64 ipHeaderLength = 0;        ///< IPv4 header, or IPv6's 40 bytes and its extensions
    qint64 transportHeaderLength = 0; ///< TCP/UDP header, or the whole ICMP/IGMP/ICMPv6 message
    qint64 appHeaderLength = 0;       ///< HTTP header bytes at the start of a TCP payload
    qint64 padding = 0;               ///< link-layer padding or trailer behind the IP datagram
    qint64 headerBytes = 0;           ///< link + IP + transport + HTTP headers + padding
    qint64 dataBytes = 0;             ///< the rest of the frame
    quint32 sourceAddress = 0; ///< IPv4 source, most significant byte first (10.0.0.1 = 0x0A000001)
    quint32 destinationAddress = 0; ///< IPv4 destination, same order
    std::array<quint8, 16> source6;        ///< IPv6 source, as on the wire (IPv6 only)
    std::array<quint8, 16> destination6;   ///< IPv6 destination (IPv6 only)
    quint16 sourcePort = 0;         ///< TCP or UDP only, else 0
    quint16 destinationPort = 0;    ///< TCP or UDP only, else 0
};

/// Decodes a frame of one of the link types linktype::readable accepts (others are not counted).
///
/// The link header always counts as header: Ethernet II is 14 bytes plus 4 for each
/// 802.1Q/802.1ad tag (EtherType 0x8100 or 0x88A8, as deep as the frame holds them); Linux
/// cooked v1 is 16 bytes (protocol in bytes 14-15), v2 20 bytes (protocol in bytes 0-1); raw IP
/// has none. On Ethernet and cooked links the protocol field decides the family (0x0800 IPv4,
/// 0x86DD IPv6, anything else is not IP); on raw links the version nibble does.
///
/// IPv4: frames are not counted when too short for a minimal IP header, with an IP header
/// length below 20, or too short for their TCP (20) or UDP (8) header. The padding is the frame
/// length - link header - the IP total length when that total length lies between the IP header
/// length and the frame; otherwise (0 on offloaded frames, or larger than the frame) the
/// datagram is taken to fill the frame and the padding is 0.
///
/// IPv6: the IP header is 40 bytes plus the extension headers found by following Next Header
/// through Hop-by-Hop (0), Routing (43) and Destination Options (60) ((byte 1 + 1) x 8 bytes),
/// Fragment (44, 8 bytes) and AH (51, (byte 1 + 2) x 4 bytes); the first other value is the
/// protocol. A chain that runs past the captured bytes, or of more than 16 extension headers,
/// is not counted. The padding is the frame
/// length - (link + 40 + payload length), 0 when the payload length is 0 or the sum exceeds the
/// frame. ICMPv6 (58) is all header, like ICMP; TCP and UDP as for IPv4; anything else (59, no
/// next header, among them) is not counted.
///
/// A non-first fragment is decoded as if the transport header followed. packetLength is the
/// length on the wire and the base of all accounting; only data[0 .. captureLength - 1] is read.
class PacketDecoder final {
public:
    /// Bytes of an Ethernet header without tags.
    static constexpr qint64 kEthernetHeaderLength = 14;

    static DecodedFrame decode(qint32 linkType, quint32 packetLength, quint32 captureLength,
                               const unsigned char* data);
    /// An Ethernet frame.
    static DecodedFrame decode(quint32 packetLength, quint32 captureLength,
                               const unsigned char* data) {
        return decode(linktype::kEthernet, packetLength, captureLength, data);
    }
};
