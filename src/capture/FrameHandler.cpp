#include "capture/FrameHandler.h"

#include "platform/MessageBoxes.h"

#include <exception>

namespace {
QString describe(const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
}
const QString kUnknownError = QStringLiteral("Unknown error");
} // namespace

FrameHandler::FrameHandler(MessageBoxes* boxes) : boxes_(boxes) {}

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
    for (const QString& text : addresses) {
        LocalAddress local;
        local.valid = parseAddress(text, &local.address);
        parsedLocal_.push_back(local);
    }
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

bool FrameHandler::passesGate(quint8 protocol) const {
    switch (protocol) {
    case 6:
        return displayTCP;
    case 17:
        return displayUDP;
    case 1:
    case 2:
        return displayICMP;
    default:
        return false;
    }
}

void FrameHandler::OnPacket(const Packet& packet) {
    if (gStationShuttingDown)
        return;
    try {
        handle(packet);
    } catch (const std::exception& e) {
        report(QStringLiteral("OnPacket"), describe(e), true);
    } catch (...) {
        report(QStringLiteral("OnPacket"), kUnknownError, true);
    }
}

void FrameHandler::handle(const Packet& packet) {
    const DecodedFrame f = PacketDecoder::decode(packet.LinkType, packet.PacketLength,
                                                 packet.CaptureLength, packet.Data);
    if (!f.counted || f.family != 4)
        return; // IPv6 is not counted

    clsPacketInfo entry;
    const bool listing = static_cast<bool>(listPacket);
    if (listing) {
        if (getNameFromAddress) {
            entry.srcAddr = getNameFromAddress(f.sourceAddress);
            entry.destAddr = getNameFromAddress(f.destinationAddress);
        } else {
            entry.srcAddr = addressText(f.sourceAddress);
            entry.destAddr = addressText(f.destinationAddress);
        }
        entry.srcPort = f.sourcePort;
        entry.destPort = f.destinationPort;
        entry.bytes = double(f.dataBytes);
        entry.pkType = f.protocol;
    }

    const Direction direction = classify(f.sourceAddress, f.destinationAddress);
    if (!passesGate(f.protocol))
        return;

    if (listing)
        listPacket(entry);

    const double length = packet.PacketLength;
    const double data = double(f.dataBytes);
    const double headers = double(f.headerBytes);
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

    if (logUsage) {
        record.usageDate = currentDay;
        logUsage(record);
    }
    if (updateStats)
        updateStats(false);
}

void FrameHandler::OnBatchEnd() {
    reportedThisBatch_ = false;
    if (!batchEnd)
        return;
    try {
        batchEnd();
    } catch (...) {
        // refreshing the display ignores its errors; the next batch tries again
    }
}

void FrameHandler::OnCaptureAborted() {
    if (!captureAborted)
        return;
    try {
        captureAborted();
    } catch (const std::exception& e) {
        report(QStringLiteral("OnCaptureAborted"), describe(e), false);
    } catch (...) {
        report(QStringLiteral("OnCaptureAborted"), kUnknownError, false);
    }
}

void FrameHandler::report(const QString& procedure, const QString& description, bool repeating) {
    if (boxes_ == nullptr)
        return;
    if (repeating) {
        if (reportedThisBatch_)
            return;
        reportedThisBatch_ = true;
        boxes_->error(procedure, description, ErrorSource::Repeating);
    } else {
        boxes_->error(procedure, description, ErrorSource::UserAction);
    }
}
