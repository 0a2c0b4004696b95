#include "capture/FrameHandler.h"

bool FrameHandler::parseAddress(const QString& text, quint32* address) {
    quint32 result = 0;
    int part = 0;
    int digits = 0;
    quint32 value = 0;
    for (int i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        const QChar c = end ? QChar('.') : text.at(i);
        if (c == QChar('.')) {
            if (digits == 0 || part > 3)
                return false;
            result = (result << 8) | value;
            ++part;
            digits = 0;
            value = 0;
            continue;
        }
        if (c < QChar('0') || c > QChar('9'))
            return false;
        if (digits > 0 && value == 0)
            return false; // leading zero
        value = value * 10 + quint32(c.unicode() - '0');
        if (++digits > 3 || value > 255)
            return false;
    }
    if (part != 4)
        return false;
    *address = result;
    return true;
}

QString FrameHandler::addressText(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

void FrameHandler::setLocalAddresses(const QStringList& addresses) {
    localAddresses_ = addresses;
    parsedLocal_.clear();
    parsedLocal_.reserve(std::size_t(addresses.size()));
    parsedLocal6_.clear();
    for (const QString& text : addresses) {
        LocalAddress local;
        local.valid = parseAddress(text, &local.address);
        parsedLocal_.push_back(local);
        if (!local.valid && text.contains(QLatin1Char(':')))
            if (const std::optional<IpAddress> v6 = IpAddress::parse(text); v6 && v6->family() == 6)
                parsedLocal6_.push_back(*v6);
    }
}

Direction FrameHandler::classify(const IpAddress& source, const IpAddress& destination) const {
    for (const IpAddress& local : parsedLocal6_) {
        if (local == source)
            return Direction::Upload;
        if (local == destination)
            return Direction::Download;
    }
    return Direction::Passby;
}

Direction FrameHandler::classify(quint32 sourceAddress, quint32 destinationAddress) const {
    for (const LocalAddress& local : parsedLocal_) {
        if (!local.valid)
            continue;
        if (local.address == sourceAddress)
            return Direction::Upload;
        if (local.address == destinationAddress)
            return Direction::Download;
    }
    return Direction::Passby;
}

bool FrameHandler::passesGate(quint8 protocol, int family) const {
    switch (protocol) {
    case 6:
        return displayTCP;
    case 17:
        return displayUDP;
    case 1:
    case 2:
        return family == 4 && displayICMP;
    case 58:
        return family == 6 && displayICMP;
    default:
        return false;
    }
}

namespace {
/// Takes part in nothing: the frame is only counted.
struct CountOnly {
    bool listing() const { return false; }
    ShownAddress nameOf(quint32) { return {}; }
    ShownAddress nameOf(const IpAddress&) { return {}; }
    void listPacket(const clsPacketInfo&) {}
    void counted(const clsUsageRec&) {}
};
} // namespace

void FrameHandler::OnPacket(const Packet& packet) {
    CountOnly nobody;
    handle(packet, nobody);
}
