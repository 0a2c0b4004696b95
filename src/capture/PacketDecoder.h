#pragma once

#include <QtGlobal>

/// What the decoder found in one frame. All lengths are bytes; headerBytes + dataBytes equals
/// the frame length for every counted frame.
struct DecodedFrame {
    bool counted = false;             ///< false: not IPv4, or too short for its headers
    quint8 protocol = 0;              ///< IP protocol number
    qint64 ipHeaderLength = 0;        ///< IP header, from its length field
    qint64 transportHeaderLength = 0; ///< TCP/UDP header, or the whole ICMP/IGMP message
    qint64 appHeaderLength = 0;       ///< HTTP header bytes at the start of a TCP payload
    qint64 padding = 0;               ///< link-layer padding or trailer behind the IP datagram
    qint64 headerBytes = 0;           ///< link + IP + transport + HTTP headers + padding
    qint64 dataBytes = 0;             ///< the rest of the frame
    quint32 sourceAddress = 0; ///< IPv4 source, most significant byte first (10.0.0.1 = 0x0A000001)
    quint32 destinationAddress = 0; ///< IPv4 destination, same order
    quint16 sourcePort = 0;         ///< TCP or UDP only, else 0
    quint16 destinationPort = 0;    ///< TCP or UDP only, else 0
};

/// Decodes an Ethernet II frame carrying IPv4 (IP header at byte 14; the EtherType is not read).
class PacketDecoder final {
public:
    /// Bytes of the Ethernet header in front of the IP header.
    static constexpr qint64 kLinkHeaderLength = 14;
    /// Shortest frame with a whole minimal IP header.
    static constexpr qint64 kMinimumFrame = kLinkHeaderLength + 20;

    /// Decodes one frame. packetLength is the length on the wire and the base of all
    /// accounting; only data[0 .. captureLength - 1] is read.
    ///
    /// Frames are not counted when they are shorter than kMinimumFrame, are not IPv4, have an
    /// IP header length below 20, or are too short for their TCP (20) or UDP (8) header.
    /// The padding is packetLength - 14 - the IP total length when that total length lies
    /// between the IP header length and the frame; otherwise (0 on offloaded frames, or larger
    /// than the frame) the datagram is taken to fill the frame and the padding is 0.
    static DecodedFrame decode(quint32 packetLength, quint32 captureLength,
                               const unsigned char* data);
};
