#pragma once

#include <QString>
#include <QtGlobal>

/// Link types (libpcap's DLT numbers) of the frames an adapter delivers, and those Quelmint
/// reads.
namespace linktype {
constexpr qint32 kEthernet = 1;        ///< Ethernet II (and Wi-Fi), with any number of VLAN tags
constexpr qint32 kRawIp = 12;          ///< raw IP (tun devices, WireGuard, OpenVPN, mobile broadband)
constexpr qint32 kRawIpOpenBsd = 14;   ///< raw IP as OpenBSD numbers it
constexpr qint32 kRawIpFile = 101;     ///< raw IP as capture files number it
constexpr qint32 kLinuxCooked = 113;   ///< Linux cooked v1 ("any", PPP and other links)
constexpr qint32 kIpv4 = 228;          ///< raw IPv4
constexpr qint32 kIpv6 = 229;          ///< raw IPv6
constexpr qint32 kLinuxCooked2 = 276;  ///< Linux cooked v2

/// True when Quelmint can read frames of this link type.
constexpr bool readable(qint32 linkType) {
    switch (linkType) {
    case kEthernet:
    case kRawIp:
    case kRawIpOpenBsd:
    case kRawIpFile:
    case kLinuxCooked:
    case kIpv4:
    case kIpv6:
    case kLinuxCooked2:
        return true;
    default:
        return false;
    }
}

/// libpcap's name of a link type ("EN10MB", "RAW", "LINUX_SLL"), or its number.
QString name(qint32 linkType);
} // namespace linktype
