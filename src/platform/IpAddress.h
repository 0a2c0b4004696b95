#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

/// An IPv4 or IPv6 address as a value: compared, hashed and copied as numbers; text is made only
/// when asked for.
class IpAddress final {
public:
    IpAddress() = default;
    /// An IPv4 address, most significant byte first (10.0.0.1 = 0x0A000001).
    static IpAddress v4(quint32 address) {
        IpAddress a;
        a.family_ = 4;
        a.low_ = address;
        return a;
    }
    /// An IPv6 address from its 16 bytes as on the wire.
    static IpAddress v6(const std::array<quint8, 16>& bytes);
    /// Canonical dotted-quad IPv4 ("10.0.0.1", no leading zeros) or any IPv6 text the system
    /// reads ("fd00:77::1", "FD00:0077:0:0::1"); nullopt for anything else.
    static std::optional<IpAddress> parse(QStringView text);

    int family() const { return family_; } ///< 4, 6, or 0 for no address
    bool isNull() const { return family_ == 0; }
    quint32 ipv4() const { return quint32(low_); }
    std::array<quint8, 16> ipv6Bytes() const;

    /// Dotted quad for IPv4, RFC 5952 text for IPv6 ("fd00:77::1"); empty for no address.
    QString text() const;

    friend bool operator==(const IpAddress& a, const IpAddress& b) {
        return a.family_ == b.family_ && a.high_ == b.high_ && a.low_ == b.low_;
    }
    friend size_t qHash(const IpAddress& a, size_t seed = 0) {
        return qHashMulti(seed, a.family_, a.high_, a.low_);
    }

private:
    quint64 high_ = 0;
    quint64 low_ = 0;
    int family_ = 0;
};
