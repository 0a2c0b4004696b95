#include "connections/ShownAddress.h"

ShownAddress NameIds::intern(const QString& text) {
    if (const std::optional<IpAddress> address = IpAddress::parse(text);
        address && address->text() == text)
        return ShownAddress::of(*address);
    const auto found = ids_.constFind(text);
    if (found != ids_.constEnd())
        return ShownAddress::name(found.value());
    const quint32 id = quint32(texts_.size());
    texts_.push_back(text);
    ids_.insert(text, id);
    return ShownAddress::name(id);
}

QString NameIds::text(const ShownAddress& shown) const {
    switch (shown.kind) {
    case ShownAddress::V4:
        return IpAddress::v4(quint32(shown.low)).text();
    case ShownAddress::V6: {
        std::array<quint8, 16> bytes{};
        for (int i = 0; i < 8; ++i) {
            bytes[std::size_t(i)] = quint8(shown.high >> (56 - 8 * i));
            bytes[std::size_t(i + 8)] = quint8(shown.low >> (56 - 8 * i));
        }
        return IpAddress::v6(bytes).text();
    }
    case ShownAddress::Name:
        return shown.low < texts_.size() ? texts_[std::size_t(shown.low)] : QString();
    case ShownAddress::None:
        break;
    }
    return QString();
}
