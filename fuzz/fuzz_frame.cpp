// Any bytes as a captured frame: the decoder, the frame handler and the header helpers must
// neither crash nor read outside the frame, and their figures must add up.
#include "capture/AppLayerHeader.h"
#include "capture/FrameHandler.h"
#include "capture/PacketDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
qint64 take64(const uint8_t*& data, size_t& size) {
    qint64 v = 0;
    const size_t n = size < sizeof v ? size : sizeof v;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes choose the arguments of the helpers; the rest is the frame.
    const qint64 start = take64(data, size);
    const qint64 count = take64(data, size);
    const quint32 wire = quint32(take64(data, size));
    // Every link type the decoder reads, and one it does not.
    static constexpr qint32 kLinkTypes[] = {
        linktype::kEthernet, linktype::kRawIp,   linktype::kRawIpOpenBsd,  linktype::kRawIpFile,
        linktype::kLinuxCooked, linktype::kIpv4, linktype::kIpv6, linktype::kLinuxCooked2, 147};
    const qint32 linkType =
        kLinkTypes[quint64(start) % (sizeof kLinkTypes / sizeof kLinkTypes[0])];
    const auto* frame = reinterpret_cast<const unsigned char*>(data);
    const quint32 captured = quint32(size);

    for (const quint32 packetLength : {captured, wire}) {
        const DecodedFrame d = PacketDecoder::decode(linkType, packetLength, captured, frame);
        if (d.counted && d.headerBytes + d.dataBytes != qint64(packetLength))
            std::abort(); // header and data must make up the frame
        if (d.headerBytes < 0 || d.dataBytes < 0)
            std::abort();
    }

    FrameHandler handler;
    handler.setLocalAddresses({QStringLiteral("10.0.0.1")});
    Packet packet;
    packet.Data = frame;
    packet.CaptureLength = captured;
    packet.PacketLength = wire < captured ? captured : wire;
    packet.LinkType = linkType;
    handler.OnPacket(packet);
    handler.OnBatchEnd();

    const qint64 header = getAppLayerHeaderSize(frame, qint64(size), 0, count);
    if (header < 0 || header > qint64(size))
        std::abort();
    const QString text = bytesToText(frame, qint64(size), start, count);
    if (count > 0 && text.size() != qMin(count, kMaxTextCount))
        std::abort();
    const qint64 at = findPattern(frame, qint64(size), QByteArrayView("\n\r\n"), false, start,
                                  count);
    if (at < -1 || (at >= 0 && (start < 0 || start + at + 3 > qint64(size))))
        std::abort();
    return 0;
}
