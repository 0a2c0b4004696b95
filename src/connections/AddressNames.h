#pragma once

#include "connections/ShownAddress.h"
#include "platform/IpAddress.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QtGlobal>

#include <optional>

class HostNameResolver;

/// What the packet list shows for an address: its dotted form (IPv6: RFC 5952 text), or
/// while "Resolve IP" is on, the host name a reverse lookup found. The frame path gets it as a
/// ShownAddress (numbers: the address, or the interned name once its answer is in); text is made
/// from that only for display (text(), getNameFromAddress()).
///
/// Lookups never block: the first time an address is seen with names on, a lookup starts and
/// the address shows as dotted text until the answer arrives; later packets get the name. Each
/// address is looked up at most once per run; an address without a name (or whose lookup
/// failed) is remembered as its dotted text. nameCache lives as long as this object and keeps
/// its contents when names are switched off and on.
///
/// At most kMaxInFlight lookups are outstanding at a time; an address seen while that many
/// are outstanding is shown dotted and asked about when it is seen again later.
class AddressNames final {
    Q_DISABLE_COPY_MOVE(AddressNames)

public:
    static constexpr int kMaxInFlight = 32;
    /// Longest name kept, in bytes.
    static constexpr int kMaxNameBytes = 256;

    /// resolver may be null (nothing is looked up); it must outlive this object.
    explicit AddressNames(HostNameResolver* resolver);
    ~AddressNames();

    /// "Resolve IP".
    void setResolveNames(bool on) { resolveNames_ = on; }
    bool resolveNames() const { return resolveNames_; }

    /// What an address shows as (first octet in the high byte); with names on, starts its
    /// lookup the first time. No text is made.
    ShownAddress shown(quint32 address);
    /// The same of an IPv4 or IPv6 address.
    ShownAddress shown(const IpAddress& address);
    /// Text of a ShownAddress made here.
    QString text(const ShownAddress& shown) const { return ids_.text(shown); }
    /// The interned names behind the ShownAddresses.
    const NameIds& ids() const { return ids_; }

    /// Display text of an address (first octet in the high byte).
    QString getNameFromAddress(quint32 address) { return text(shown(address)); }
    /// The same from the four octets in packet order.
    QString getNameFromAddress(quint8 b1, quint8 b2, quint8 b3, quint8 b4);
    /// Display text of an IPv4 or IPv6 address.
    QString getNameFromAddress(const IpAddress& address) { return text(shown(address)); }

    /// nameCache's key of an address: the 32-bit signed integer whose bytes in memory are the
    /// four octets in packet order, first octet in the lowest byte.
    static qint32 cacheKey(quint8 b1, quint8 b2, quint8 b3, quint8 b4);
    static qint32 cacheKey(quint32 address);
    /// The cached text of a key, or nullopt.
    std::optional<QString> cached(qint32 key) const;
    /// Addresses with a cached text, IPv4 and IPv6.
    int cacheSize() const { return int(nameCache_.size() + nameCache6_.size()); }
    /// Lookups outstanding.
    int inFlight() const { return int(inFlight_.size()); }

    /// Dotted text: the four octets as unpadded decimal joined by ".".
    static QString dottedText(quint32 address);
    /// Text of a host name as the system gave it: up to the first NUL, at most kMaxNameBytes
    /// bytes (never ending inside a character), decoded as UTF-8 (what is not valid text
    /// becomes the replacement character).
    static QString nameFromBytes(const QByteArray& bytes);

private:
    void answered(const IpAddress& address, const std::optional<QByteArray>& name);
    void ask(const IpAddress& address);

    HostNameResolver* resolver_;
    bool resolveNames_ = false;
    NameIds ids_;
    QHash<qint32, ShownAddress> nameCache_;
    QHash<IpAddress, ShownAddress> nameCache6_; ///< the IPv6 addresses' answers
    QSet<IpAddress> inFlight_;
};
