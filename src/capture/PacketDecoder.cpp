#include "capture/PacketDecoder.h"

#include "capture/AppLayerHeader.h"

namespace {
inline quint16 read16(const unsigned char* p) {
    return static_cast<quint16>((quint16(p[0]) << 8) | p[1]);
}
inline quint32 read32(const unsigned char* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}
} // namespace

DecodedFrame PacketDecoder::decode(quint32 packetLength, quint32 captureLength,
                                   const unsigned char* data) {
    DecodedFrame f;
    const qint64 frameLength = packetLength;
    // Never read past what was captured, nor past the frame itself.
    const qint64 readable = data == nullptr ? 0 : qMin<qint64>(captureLength, frameLength);
    if (readable < kMinimumFrame)
        return f;

    const unsigned char* ip = data + kLinkHeaderLength;
    if ((ip[0] >> 4) != 4)
        return f;
    const qint64 ipHeaderLength = qint64(ip[0] & 0x0F) * 4;
    if (ipHeaderLength < 20)
        return f; // a header length below the fixed part is no IPv4 header
    const qint64 totalLength = read16(ip + 2);
    const quint8 protocol = ip[9];

    // The datagram fills the frame unless its total length says it ends earlier.
    const qint64 room = frameLength - kLinkHeaderLength;
    const qint64 padding =
        (totalLength >= ipHeaderLength && totalLength <= room) ? room - totalLength : 0;
    const qint64 transportStart = kLinkHeaderLength + ipHeaderLength;
    const qint64 datagramEnd = frameLength - padding; // end of the IP datagram in the frame

    qint64 transportHeaderLength = 0;
    qint64 appHeaderLength = 0;
    switch (protocol) {
    case 1:
    case 2:
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
        break;
    }

    qint64 headerBytes =
        kLinkHeaderLength + ipHeaderLength + transportHeaderLength + appHeaderLength + padding;
    if (headerBytes > frameLength)
        headerBytes = frameLength; // headers that claim more than the frame end with it

    f.counted = true;
    f.protocol = protocol;
    f.ipHeaderLength = ipHeaderLength;
    f.transportHeaderLength = transportHeaderLength;
    f.appHeaderLength = appHeaderLength;
    f.padding = padding;
    f.headerBytes = headerBytes;
    f.dataBytes = frameLength - headerBytes;
    f.sourceAddress = read32(ip + 12);
    f.destinationAddress = read32(ip + 16);
    return f;
}
