#pragma once

#include "platform/CaptureTypes.h"

#include <QByteArray>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

/// One delivered frame, copied.
struct RecordedFrame {
    quint32 packetLength;
    quint32 captureLength;
    QByteArray bytes;
    bool operator==(const RecordedFrame&) const = default;
};

/// Records what a capture component or file source hands out.
class CaptureRecorder final : public CaptureEvents {
public:
    void OnPacket(const Packet& packet) override {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        frames.push_back(
            {packet.PacketLength, packet.CaptureLength,
             QByteArray(reinterpret_cast<const char*>(packet.Data), int(packet.CaptureLength))});
        ++sinceBatchEnd;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth};
        if (onPacket)
            onPacket(packet);
    }
    void OnCaptureAborted() override { ++aborted; }
    void OnBatchEnd() override {
        ++batchEnds;
        sinceBatchEnd = 0;
    }

    std::vector<RecordedFrame> frames;
    std::function<void(const Packet&)> onPacket; ///< called after the frame is recorded
    int aborted = 0;
    int batchEnds = 0;
    int sinceBatchEnd = 0; ///< frames handed out since the last batch end
    int depth = 0;         ///< OnPacket calls running now
    int maxDepth = 0;
};

/// Reads the fields of recorded Ethernet frames.
namespace frameinfo {

inline quint16 be16(const QByteArray& b, int at) {
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

/// The IPv4 protocol number of an Ethernet frame, or -1 when it is no IPv4 frame.
inline int ipProtocol(const RecordedFrame& f) {
    if (f.bytes.size() < 34 || be16(f.bytes, 12) != 0x0800)
        return -1;
    return quint8(f.bytes[23]);
}

/// Where the transport header starts.
inline int transportAt(const RecordedFrame& f) {
    return 14 + (quint8(f.bytes[14]) & 0x0f) * 4;
}

/// Source port of a TCP or UDP frame (-1 otherwise).
inline int sourcePort(const RecordedFrame& f) {
    const int protocol = ipProtocol(f);
    if ((protocol != 6 && protocol != 17) || f.bytes.size() < transportAt(f) + 4)
        return -1;
    return be16(f.bytes, transportAt(f));
}

/// Destination port of a TCP or UDP frame (-1 otherwise).
inline int destPort(const RecordedFrame& f) {
    return sourcePort(f) < 0 ? -1 : be16(f.bytes, transportAt(f) + 2);
}

/// The payload (as far as it was kept) when the frame is a UDP datagram to the port.
inline std::optional<QByteArray> udpPayload(const RecordedFrame& f, int port) {
    if (ipProtocol(f) != 17 || destPort(f) != port || f.bytes.size() < transportAt(f) + 8)
        return std::nullopt;
    return f.bytes.mid(transportAt(f) + 8, be16(f.bytes, transportAt(f) + 4) - 8);
}

/// A printable payload of the given length that differs per seed.
inline QByteArray makePayload(int length, char seed) {
    QByteArray p(length, ' ');
    for (int i = 0; i < length; ++i)
        p[i] = char('A' + (seed + i * 7) % 26);
    return p;
}

} // namespace frameinfo

/// The description of the CaptureError that `action` throws; nothing when it throws none.
template <typename Action> std::optional<QString> captureErrorOf(Action action) {
    try {
        action();
        return std::nullopt;
    } catch (const CaptureError& e) {
        return e.description();
    }
}
