#include "connections/AddressNames.h"

#include "platform/HostNameResolver.h"

AddressNames::AddressNames(HostNameResolver* resolver) : resolver_(resolver) {
    if (resolver_)
        resolver_->setAnswerHandler(
            [this](const IpAddress& address, const std::optional<QByteArray>& name) {
                answered(address, name);
            });
}

AddressNames::~AddressNames() {
    if (resolver_)
        resolver_->setAnswerHandler(nullptr);
}

qint32 AddressNames::cacheKey(quint8 b1, quint8 b2, quint8 b3, quint8 b4) {
    const quint32 value =
        quint32(b1) | (quint32(b2) << 8) | (quint32(b3) << 16) | (quint32(b4) << 24);
    return qint32(value);
}

qint32 AddressNames::cacheKey(quint32 address) {
    return cacheKey(quint8(address >> 24), quint8(address >> 16), quint8(address >> 8),
                    quint8(address));
}

QString AddressNames::dottedText(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

QString AddressNames::getNameFromAddress(quint8 b1, quint8 b2, quint8 b3, quint8 b4) {
    return getNameFromAddress((quint32(b1) << 24) | (quint32(b2) << 16) | (quint32(b3) << 8) |
                              quint32(b4));
}

ShownAddress AddressNames::shown(quint32 address) {
    if (!resolveNames_)
        return ShownAddress::v4(address);
    const auto found = nameCache_.constFind(cacheKey(address));
    if (found != nameCache_.constEnd())
        return found.value();
    ask(IpAddress::v4(address));
    return ShownAddress::v4(address);
}

ShownAddress AddressNames::shown(const IpAddress& address) {
    if (address.family() == 4)
        return shown(address.ipv4());
    if (!resolveNames_)
        return ShownAddress::of(address);
    const auto found = nameCache6_.constFind(address);
    if (found != nameCache6_.constEnd())
        return found.value();
    ask(address);
    return ShownAddress::of(address);
}

void AddressNames::ask(const IpAddress& address) {
    if (resolver_ && !inFlight_.contains(address) && inFlight_.size() < kMaxInFlight) {
        inFlight_.insert(address);
        resolver_->lookUp(address); // may answer at once
    }
}

std::optional<QString> AddressNames::cached(qint32 key) const {
    const auto found = nameCache_.constFind(key);
    if (found == nameCache_.constEnd())
        return std::nullopt;
    return ids_.text(found.value());
}

QString AddressNames::nameFromBytes(const QByteArray& bytes) {
    qsizetype length = bytes.indexOf('\0');
    if (length < 0)
        length = bytes.size();
    if (length > kMaxNameBytes) {
        length = kMaxNameBytes;
        // Do not end inside a UTF-8 sequence: step back over continuation bytes to the lead
        // byte and drop the character if its bytes do not all fit.
        qsizetype lead = length - 1;
        while (lead > 0 && (quint8(bytes[lead]) & 0xC0) == 0x80 && length - lead < 4)
            --lead;
        const quint8 c = quint8(bytes[lead]);
        const int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (c >= 0xC0 && length - lead < need)
            length = lead;
    }
    return QString::fromUtf8(bytes.constData(), length);
}

void AddressNames::answered(const IpAddress& address, const std::optional<QByteArray>& name) {
    if (!inFlight_.remove(address))
        return; // not asked by us, or asked and answered already
    QString text = name ? nameFromBytes(*name) : QString();
    if (text.isEmpty())
        text = address.text();
    // Interned once here: every later packet of the address gets the number.
    const ShownAddress shown = ids_.intern(text);
    if (address.family() == 4)
        nameCache_.insert(cacheKey(address.ipv4()), shown);
    else
        nameCache6_.insert(address, shown);
}
