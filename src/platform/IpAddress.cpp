#include "platform/IpAddress.h"

#include <QByteArrayList>

#include <arpa/inet.h>

#include <cstring>

IpAddress IpAddress::v6(const std::array<quint8, 16>& bytes) {
    IpAddress a;
    a.family_ = 6;
    for (int i = 0; i < 8; ++i) {
        a.high_ = (a.high_ << 8) | bytes[size_t(i)];
        a.low_ = (a.low_ << 8) | bytes[size_t(i + 8)];
    }
    return a;
}

std::array<quint8, 16> IpAddress::ipv6Bytes() const {
    std::array<quint8, 16> bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[size_t(i)] = quint8(high_ >> (56 - 8 * i));
        bytes[size_t(i + 8)] = quint8(low_ >> (56 - 8 * i));
    }
    return bytes;
}

std::optional<IpAddress> IpAddress::parse(QStringView text) {
    if (text.isEmpty() || text.size() > 45)
        return std::nullopt;
    const QByteArray latin = text.toLatin1();
    if (!text.contains(QLatin1Char(':'))) {
        // Only the canonical form: four numbers 0-255 without leading zeros.
        quint32 value = 0;
        int parts = 0;
        for (const QByteArray& part : latin.split('.')) {
            bool ok = false;
            const uint n = part.toUInt(&ok);
            if (!ok || n > 255 || part.isEmpty() || part.size() > 3 ||
                (part.size() > 1 && part[0] == '0') || part[0] == '+' || part[0] == '-')
                return std::nullopt;
            value = (value << 8) | n;
            ++parts;
        }
        if (parts != 4)
            return std::nullopt;
        return v4(value);
    }
    std::array<quint8, 16> bytes{};
    if (inet_pton(AF_INET6, latin.constData(), bytes.data()) != 1)
        return std::nullopt;
    return v6(bytes);
}

QString IpAddress::text() const {
    if (family_ == 4)
        return QStringLiteral("%1.%2.%3.%4")
            .arg(ipv4() >> 24)
            .arg((ipv4() >> 16) & 0xFF)
            .arg((ipv4() >> 8) & 0xFF)
            .arg(ipv4() & 0xFF);
    if (family_ == 6) {
        char out[INET6_ADDRSTRLEN] = {};
        const std::array<quint8, 16> bytes = ipv6Bytes();
        if (inet_ntop(AF_INET6, bytes.data(), out, sizeof out) != nullptr)
            return QString::fromLatin1(out);
    }
    return {};
}
