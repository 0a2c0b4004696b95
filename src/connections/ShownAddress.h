#pragma once

#include "platform/IpAddress.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <vector>

/// What the packet list shows for an address, kept as numbers: the address itself while it
/// shows as its own text (dotted IPv4, RFC 5952 IPv6), or the number of a host name in a
/// NameIds. Made per frame without any text; the text is made only when a row is painted.
///
/// Two ShownAddresses made with the same NameIds are equal exactly when their texts are: a name
/// that reads as an address's own text is that address (NameIds::intern), so an address without
/// a name and one whose name is that text share a key, and so do two addresses with one name.
struct ShownAddress {
    enum Kind : quint8 { None = 0, V4 = 4, V6 = 6, Name = 1 };

    quint64 high = 0; ///< IPv6: the first 8 bytes; else 0
    quint64 low = 0;  ///< IPv6: the last 8 bytes; IPv4: the address; Name: its number
    Kind kind = None;

    static ShownAddress v4(quint32 address) { return {0, address, V4}; }
    static ShownAddress of(const IpAddress& address) {
        if (address.family() == 4)
            return v4(address.ipv4());
        if (address.family() != 6)
            return {};
        const std::array<quint8, 16> b = address.ipv6Bytes();
        ShownAddress s{0, 0, V6};
        for (int i = 0; i < 8; ++i) {
            s.high = (s.high << 8) | b[std::size_t(i)];
            s.low = (s.low << 8) | b[std::size_t(i + 8)];
        }
        return s;
    }
    static ShownAddress name(quint32 id) { return {0, id, Name}; }

    friend bool operator==(const ShownAddress&, const ShownAddress&) = default;
};

/// Host names interned once each: a name gets a number when its lookup answers, and the list
/// compares numbers. Names are kept as long as this object (like the answers themselves).
class NameIds final {
public:
    /// The ShownAddress of a text: the address when the text is an address's own text
    /// ("10.0.0.1", "fd00:77::1"), else the number of the name (given once per distinct text;
    /// equal texts, case included, get one number).
    ShownAddress intern(const QString& text);
    /// Text of a ShownAddress made by this object (empty for None).
    QString text(const ShownAddress& shown) const;
    /// Names interned so far.
    int size() const { return int(texts_.size()); }

private:
    QHash<QString, quint32> ids_;
    std::vector<QString> texts_;
};
