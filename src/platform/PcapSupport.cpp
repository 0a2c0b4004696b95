#include "platform/PcapSupport.h"

#include "platform/IpAddress.h"
#include "platform/helper/LiveDevice.h"

#include <QFile>

#include <pcap/pcap.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace pcapsupport {

namespace {
// Hardware types as the kernel reports them (ARPHRD_*).
constexpr qint32 kArphrdLoopback = 772;
const QString kAny = QStringLiteral("any");

/// An ioctl on a throw-away socket about one device; false when the kernel refuses it.
bool deviceIoctl(const QByteArray& device, unsigned long request, void* answer) {
    if (device.isEmpty() || device.size() >= IFNAMSIZ)
        return false;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    std::memcpy(answer, device.constData(), size_t(device.size())); // ifr_name comes first
    const bool ok = ioctl(fd, request, answer) == 0;
    close(fd);
    return ok;
}

bool isWireless(const QByteArray& device) {
    // Wireless extensions answer SIOCGIWNAME (linux/wireless.h, which clashes with net/if.h);
    // its request is the device name and a 16-byte answer.
    constexpr unsigned long kSiocGiwName = 0x8B01;
    char request[IFNAMSIZ + 16] = {};
    return deviceIoctl(device, kSiocGiwName, request);
}
} // namespace

void BpfDeleter::operator()(bpf_program* program) const {
    pcap_freecode(program);
    delete program;
}

BpfProgram compileFilter(const QString& filter, qint32 linkType) {
    pcap_t* dead = pcap_open_dead(linkType, 262144);
    if (dead == nullptr)
        throw CaptureError(QStringLiteral("The capture library cannot compile filters."));
    BpfProgram program(new bpf_program{});
    const QByteArray text = filter.toLocal8Bit();
    if (pcap_compile(dead, program.get(), text.constData(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        const QString message = QString::fromLocal8Bit(pcap_geterr(dead));
        delete program.release(); // nothing was allocated by a failed compile
        pcap_close(dead);
        throw CaptureError(message);
    }
    pcap_close(dead);
    return program;
}

qint32 linkTypeOfHardware(qint32 hardwareType) {
    switch (hardwareType) {
    case 1: // ARPHRD_ETHER: Ethernet and Wi-Fi in managed mode
        return linktype::kEthernet;
    case 65534: // ARPHRD_NONE: tun devices, WireGuard
    case 519:   // ARPHRD_RAWIP: mobile broadband
    case 768:   // ARPHRD_TUNNEL: IP in IP
    case 769:   // ARPHRD_TUNNEL6
    case 776:   // ARPHRD_SIT: IPv6 in IPv4
        return linktype::kRawIp;
    case 512: // ARPHRD_PPP: libpcap delivers cooked frames
    case 778: // ARPHRD_IPGRE
        return linktype::kLinuxCooked;
    default:
        return hardwareType; // loopback (772) and kinds Quelmint cannot read
    }
}

qint32 linkTypeOf(const QString& name) {
    if (name == kAny)
        return kLinkLinuxCooked;
    // Ask the kernel of our own network namespace (the sysfs view may belong to another one).
    ifreq request{};
    if (deviceIoctl(name.toLocal8Bit(), SIOCGIFHWADDR, &request))
        return linkTypeOfHardware(request.ifr_hwaddr.sa_family);
    return 0;
}

bool monitorable(const Adapter& adapter) {
    return linktype::readable(adapter.LinkType) && adapter.Name != QLatin1String("lo");
}

QString defaultRouteAdapter(const QString& procNet) {
    // IPv4: "Iface Destination Gateway Flags ..." with the destination and mask 00000000.
    const QList<QByteArray> v4 = [&] {
        QFile f(procNet + QStringLiteral("/route"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
    }();
    for (const QByteArray& line : v4) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 8 && f[1] == "00000000" && f[7] == "00000000" && f[0] != "Iface")
            return QString::fromLocal8Bit(f[0]);
    }
    // IPv6: destination ::/0 with a gateway, the device last.
    QFile f6(procNet + QStringLiteral("/ipv6_route"));
    if (f6.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f6.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() == 10 && f[0] == QByteArray(32, '0') && f[1] == "00" &&
                f[4] != QByteArray(32, '0') && f[9] != "lo")
                return QString::fromLocal8Bit(f[9]);
        }
    }
    return {};
}

DeviceState deviceState(const QString& name) {
    switch (livedevice::deviceState(name.toLocal8Bit().toStdString())) {
    case livedevice::DeviceState::Up:
        return DeviceState::Up;
    case livedevice::DeviceState::Down:
        return DeviceState::Down;
    case livedevice::DeviceState::Gone:
        return DeviceState::Gone;
    case livedevice::DeviceState::Unknown:
        break;
    }
    return DeviceState::Unknown;
}

QString describe(const QString& name, qint32 linkType, bool loopback, bool wireless) {
    if (name == kAny)
        return QStringLiteral("Pseudo-device that captures on all interfaces");
    if (loopback || linkType == kArphrdLoopback)
        return QStringLiteral("Loopback adapter %1").arg(name);
    if (wireless)
        return QStringLiteral("Wireless adapter %1").arg(name);
    if (linkType == kLinkEthernet)
        return QStringLiteral("Ethernet adapter %1").arg(name);
    if (linkType == linktype::kRawIp)
        return QStringLiteral("Tunnel adapter %1").arg(name);
    if (linkType == linktype::kLinuxCooked)
        return QStringLiteral("Point-to-point adapter %1").arg(name);
    return QStringLiteral("Network adapter %1").arg(name);
}

QList<Adapter> listAdapters() {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr)
        throw CaptureError(QStringLiteral("The adapters cannot be listed: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
    // Addresses and flags per device, in the kernel's order.
    std::map<QByteArray, QList<AdapterAddress>> addresses;
    std::map<QByteArray, unsigned int> flags;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
            const QByteArray device(a->ifa_name);
            flags[device] |= a->ifa_flags;
            if (a->ifa_addr == nullptr)
                continue;
            char text[INET6_ADDRSTRLEN] = {};
            const int family = a->ifa_addr->sa_family;
            const void* address =
                family == AF_INET
                    ? static_cast<const void*>(
                          &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr)
                : family == AF_INET6
                    ? static_cast<const void*>(
                          &reinterpret_cast<const sockaddr_in6*>(a->ifa_addr)->sin6_addr)
                    : nullptr;
            if (address == nullptr || inet_ntop(family, address, text, sizeof text) == nullptr)
                continue;
            // The text the frame path shows (RFC 5952 for IPv6), so both compare alike.
            if (const auto parsed = IpAddress::parse(QString::fromLatin1(text)))
                addresses[device].append({parsed->text()});
        }
        freeifaddrs(list);
    }
    QList<Adapter> adapters;
    for (struct if_nameindex* n = names; n->if_index != 0 && n->if_name != nullptr; ++n) {
        const QByteArray device(n->if_name);
        Adapter adapter;
        adapter.Name = QString::fromLocal8Bit(device);
        adapter.LinkType = linkTypeOf(adapter.Name);
        adapter.Description = describe(adapter.Name, adapter.LinkType,
                                       (flags[device] & IFF_LOOPBACK) != 0, isWireless(device));
        adapter.Addresses = addresses[device];
        adapters.append(adapter);
    }
    if_freenameindex(names);
    // "any" captures on every adapter: all their addresses are this machine's.
    Adapter any;
    any.Name = kAny;
    any.LinkType = kLinkLinuxCooked;
    any.Description = describe(kAny, any.LinkType, false, false);
    for (const Adapter& adapter : adapters)
        for (const AdapterAddress& a : adapter.Addresses)
            if (std::none_of(any.Addresses.cbegin(), any.Addresses.cend(),
                             [&](const AdapterAddress& b) { return b.IPAddress == a.IPAddress; }))
                any.Addresses.append(a);
    adapters.append(any);
    return adapters;
}

bool adapterPresent(const QString& name) {
    if (name.isEmpty())
        return false;
    if (name == kAny)
        return true;
    // A device that is down cannot be opened until it is up again.
    return deviceState(name) == DeviceState::Up;
}

QString libraryVersion() {
    return QString::fromLatin1(pcap_lib_version());
}

} // namespace pcapsupport

QString linktype::name(qint32 linkType) {
    const char* known = pcap_datalink_val_to_name(linkType);
    return known != nullptr ? QString::fromLatin1(known) : QString::number(linkType);
}
