#include "capture/PacketDecoder.h"

#include "capture/AppLayerHeader.h"

#include <cstring>

namespace {
inline quint16 read16(const unsigned char* p) {
    return static_cast<quint16>((quint16(p[0]) << 8) | p[1]);
}
inline quint32 read32(const unsigned char* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

constexpr quint16 kEtherIpv4 = 0x0800;
constexpr quint16 kEtherIpv6 = 0x86DD;
constexpr quint16 kEtherVlan = 0x8100;
constexpr quint16 kEtherQinQ = 0x88A8;

/// Where the IP datagram starts and which family the link layer says it is (0: not IP).
struct Link {
    qint64 length = 0;
    quint8 family = 0;
};

quint8 familyOfProtocol(quint16 protocol) {
    return protocol == kEtherIpv4 ? 4 : protocol == kEtherIpv6 ? 6 : 0;
}

Link readLink(qint32 linkType, const unsigned char* data, qint64 readable) {
    Link link;
    switch (linkType) {
    case linktype::kEthernet: {
        qint64 at = 12; // the EtherType, behind any number of tags
        while (readable >= at + 2) {
            const quint16 type = read16(data + at);
            if (type == kEtherVlan || type == kEtherQinQ) {
                at += 4;
                continue;
            }
            link.length = at + 2;
            link.family = familyOfProtocol(type);
            break;
        }
        break;
    }
    case linktype::kLinuxCooked:
        if (readable >= 16) {
            link.length = 16;
            link.family = familyOfProtocol(read16(data + 14));
        }
        break;
    case linktype::kLinuxCooked2:
        if (readable >= 20) {
            link.length = 20;
            link.family = familyOfProtocol(read16(data));
        }
        break;
    case linktype::kRawIp:
    case linktype::kRawIpOpenBsd:
    case linktype::kRawIpFile:
    case linktype::kIpv4:
    case linktype::kIpv6:
        if (readable >= 1) {
            const quint8 version = data[0] >> 4;
            link.family = version == 4 || version == 6 ? version : 0;
        }
        break;
    default:
        break;
    }
    return link;
}

/// More extension headers than any real chain has (each may appear once, Destination Options
/// twice): such a frame is not counted.
constexpr int kMaxExtensionHeaders = 16;

/// Follows IPv6's extension headers from the fixed header at `ip`: the total IP header length
/// and the protocol, or a length of -1 when the chain runs past the readable bytes or the
/// protocol is not one of ours.
qint64 ipv6Header(const unsigned char* ip, qint64 readable, quint8* protocol) {
    qint64 length = 40;
    quint8 next = ip[6];
    for (int headers = 0;; ++headers) {
        if (headers > kMaxExtensionHeaders)
            return -1;
        qint64 extension = 0;
        switch (next) {
        case 0:
        case 43:
        case 60:
            if (readable < length + 2)
                return -1;
            extension = (qint64(ip[length + 1]) + 1) * 8;
            break;
        case 44:
            extension = 8;
            break;
        case 51:
            if (readable < length + 2)
                return -1;
            extension = (qint64(ip[length + 1]) + 2) * 4;
            break;
        default:
            *protocol = next;
            return length;
        }
        // The next header's number is the first byte of this one.
        if (readable < length + extension)
            return -1;
        next = ip[length];
        length += extension;
    }
}
} // namespace

DecodedFrame PacketDecoder::decode(qint32 linkType, quint32 packetLength, quint32 captureLength,
                                   const unsigned char* data) {
    DecodedFrame f;
    const qint64 frameLength = packetLength;
    // Never read past what was captured, nor past the frame itself.
    const qint64 readable = data == nullptr ? 0 : qMin<qint64>(captureLength, frameLength);
    const Link link = readLink(linkType, data, readable);
    f.family = link.family;
    const unsigned char* ip = data + link.length;
    const qint64 ipReadable = readable - link.length;

    qint64 ipHeaderLength = 0;
    qint64 padding = 0;
    quint8 protocol = 0;
    const qint64 room = frameLength - link.length; // what the frame holds behind the link header
    if (link.family == 4) {
        if (ipReadable < 20 || (ip[0] >> 4) != 4)
            return f;
        ipHeaderLength = qint64(ip[0] & 0x0F) * 4;
        if (ipHeaderLength < 20)
            return f; // a header length below the fixed part is no IPv4 header
        const qint64 totalLength = read16(ip + 2);
        protocol = ip[9];
        // The datagram fills the frame unless its total length says it ends earlier.
        padding = (totalLength >= ipHeaderLength && totalLength <= room) ? room - totalLength : 0;
        f.sourceAddress = read32(ip + 12);
        f.destinationAddress = read32(ip + 16);
    } else if (link.family == 6) {
        if (ipReadable < 40 || (ip[0] >> 4) != 6)
            return f;
        ipHeaderLength = ipv6Header(ip, ipReadable, &protocol);
        if (ipHeaderLength < 0)
            return f;
        const qint64 payloadLength = read16(ip + 4);
        padding = (payloadLength > 0 && 40 + payloadLength <= room) ? room - 40 - payloadLength : 0;
        std::memcpy(f.source6.data(), ip + 8, 16);
        std::memcpy(f.destination6.data(), ip + 24, 16);
    } else {
        return f;
    }

    const qint64 transportStart = link.length + ipHeaderLength;
    const qint64 datagramEnd = frameLength - padding; // end of the IP datagram in the frame
    qint64 transportHeaderLength = 0;
    qint64 appHeaderLength = 0;
    switch (protocol) {
    case 1:
    case 2:
    case 58:
        // ICMP, IGMP and ICMPv6: the whole message is header. ICMP and IGMP in IPv6, like
        // ICMPv6 in IPv4, are nothing of ours.
        if ((protocol == 58) != (link.family == 6)) {
            if (link.family == 6)
                return f;
            break;
        }
        transportHeaderLength = qMax<qint64>(datagramEnd - transportStart, 0);
        break;
    case 17:
        if (readable < transportStart + 8)
            return f;
        transportHeaderLength = 8;
        f.sourcePort = read16(data + transportStart);
        f.destinationPort = read16(data + transportStart + 2);
        break;
    case 6: {
        if (readable < transportStart + 20)
            return f;
        const unsigned char* tcp = data + transportStart;
        transportHeaderLength = qint64(tcp[12] >> 4) * 4;
        f.sourcePort = read16(tcp);
        f.destinationPort = read16(tcp + 2);
        const qint64 payloadStart = transportStart + transportHeaderLength;
        // Look only at captured payload bytes; a header that runs to the end of the payload
        // covers the whole payload even where the capture was cut short.
        const applayer::HeaderScan scan =
            applayer::scanHeader(data, qMin(readable, datagramEnd), payloadStart);
        if (scan.kind == applayer::HeaderKind::WholePayload)
            appHeaderLength = qMax<qint64>(datagramEnd - payloadStart, 0);
        else
            appHeaderLength = scan.size;
        break;
    }
    default:
        // IPv4 frames of other protocols are decoded (and never pass the protocol gate), as
        // they always were; IPv6 ones are not counted at all.
        if (link.family == 6)
            return f;
        break;
    }

    qint64 headerBytes =
        link.length + ipHeaderLength + transportHeaderLength + appHeaderLength + padding;
    if (headerBytes > frameLength)
        headerBytes = frameLength; // headers that claim more than the frame end with it

    f.counted = true;
    f.protocol = protocol;
    f.linkHeaderLength = link.length;
    f.ipHeaderLength = ipHeaderLength;
    f.transportHeaderLength = transportHeaderLength;
    f.appHeaderLength = appHeaderLength;
    f.padding = padding;
    f.headerBytes = headerBytes;
    f.dataBytes = frameLength - headerBytes;
    return f;
}
