#pragma once

#include "platform/CaptureTypes.h"
#include "platform/IpAddress.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

/// Builds Ethernet II frames carrying IPv4 for decoder tests.
struct FrameBuilder {
    quint8 version = 4;
    quint8 ihlWords = 5; ///< IP header length in 32-bit words
    quint8 protocol = 6;
    quint32 source = 0x0A000001;      ///< 10.0.0.1
    quint32 destination = 0x0A000002; ///< 10.0.0.2
    quint16 sourcePort = 40000;
    quint16 destinationPort = 80;
    quint8 tcpWords = 5;                 ///< TCP data offset in 32-bit words
    QByteArray payload;                  ///< bytes after the transport header
    QByteArray trailer;                  ///< link-layer padding or trailer after the IP datagram
    std::optional<quint32> totalLength;  ///< IP total length field; computed when unset
    std::optional<quint32> packetLength; ///< wire length; the built size when unset

    /// Transport header bytes that will be written for the protocol.
    int transportBytes() const {
        if (protocol == 6)
            return tcpWords * 4 < 20 ? 20 : tcpWords * 4;
        if (protocol == 17)
            return 8;
        return 0;
    }

    QByteArray build() const {
        QByteArray f(14, '\0');
        f[12] = char(0x08);
        const int ipLen = ihlWords * 4 < 20 ? 20 : ihlWords * 4;
        QByteArray ip(ipLen, '\0');
        ip[0] = char((version << 4) | (ihlWords & 0x0F));
        const quint32 total =
            totalLength ? *totalLength : quint32(ipLen + transportBytes() + payload.size());
        ip[2] = char((total >> 8) & 0xFF);
        ip[3] = char(total & 0xFF);
        ip[8] = char(64);
        ip[9] = char(protocol);
        for (int i = 0; i < 4; ++i) {
            ip[12 + i] = char((source >> (24 - 8 * i)) & 0xFF);
            ip[16 + i] = char((destination >> (24 - 8 * i)) & 0xFF);
        }
        f += ip;
        QByteArray t(transportBytes(), '\0');
        if (protocol == 6 || protocol == 17) {
            t[0] = char(sourcePort >> 8);
            t[1] = char(sourcePort & 0xFF);
            t[2] = char(destinationPort >> 8);
            t[3] = char(destinationPort & 0xFF);
        }
        if (protocol == 6)
            t[12] = char(tcpWords << 4);
        if (protocol == 17) {
            const int udpLen = 8 + payload.size();
            t[4] = char((udpLen >> 8) & 0xFF);
            t[5] = char(udpLen & 0xFF);
        }
        f += t;
        f += payload;
        f += trailer;
        return f;
    }

    /// A UDP frame of `payload` data bytes between two addresses.
    static QByteArray udp(quint32 source, quint32 destination, int payload = 0) {
        FrameBuilder b;
        b.protocol = 17;
        b.source = source;
        b.destination = destination;
        b.payload = QByteArray(payload, 'd');
        return b.build();
    }
    /// The same between these ports.
    static QByteArray udp(quint32 source, quint16 sourcePort, quint32 destination,
                          quint16 destinationPort, int payload) {
        FrameBuilder b;
        b.protocol = 17;
        b.source = source;
        b.sourcePort = sourcePort;
        b.destination = destination;
        b.destinationPort = destinationPort;
        b.payload = QByteArray(payload, 'd');
        return b.build();
    }

    /// A UDP datagram whose IP total length is 0, as offloaded ones have: fired with any wire
    /// length of 42 bytes or more, that is its size, all of it data but its 42 header bytes.
    static QByteArray anyLength(quint32 source, quint32 destination) {
        FrameBuilder b;
        b.protocol = 17;
        b.source = source;
        b.destination = destination;
        b.totalLength = 0;
        return b.build();
    }

    /// A TCP frame without data, padded to Ethernet's 60-byte minimum.
    static QByteArray tcpAck(quint32 source, quint32 destination) {
        FrameBuilder b;
        b.source = source;
        b.destination = destination;
        b.trailer = QByteArray(6, '\0');
        return b.build();
    }

    /// An Ethernet frame with an IPv6 datagram between two addresses (their text): UDP
    /// (protocol 17, ports 40000 -> 53) or an ICMPv6 echo request (58), with `payload` data bytes.
    static QByteArray ipv6(const char* source, const char* destination, int payload = 0,
                           quint8 protocol = 17) {
        const auto bytes = [](const char* text) {
            const auto a = IpAddress::parse(QString::fromLatin1(text))->ipv6Bytes();
            return QByteArray(reinterpret_cast<const char*>(a.data()), 16);
        };
        QByteArray upper = protocol == 17 ? QByteArray::fromHex("9c4000350000"
                                                                "0000")
                                          : QByteArray::fromHex("80000000"
                                                                "00010001");
        if (protocol == 17)
            upper[5] = char(8 + payload); // payloads under 248 bytes
        upper += QByteArray(payload, 'd');
        QByteArray f = QByteArray::fromHex("020000000002"
                                           "020000000001"
                                           "86dd"
                                           "60000000");
        f += char(upper.size() >> 8);
        f += char(upper.size() & 0xFF);
        f += char(protocol);
        f += char(64);
        return f + bytes(source) + bytes(destination) + upper;
    }

    /// A packet over all of `bytes` (which must outlive it).
    static Packet packetOf(const QByteArray& bytes) {
        Packet p;
        p.PacketLength = p.CaptureLength = quint32(bytes.size());
        p.Data = reinterpret_cast<const unsigned char*>(bytes.constData());
        return p;
    }
};
