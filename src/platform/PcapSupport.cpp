#include "platform/PcapSupport.h"

#include <QCoreApplication>

#include <pcap/pcap.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pcapsupport {

namespace {
// Hardware types as the kernel reports them in /sys/class/net/<name>/type.
constexpr qint32 kArphrdEther = 1;
constexpr qint32 kArphrdLoopback = 772;
constexpr qint32 kLinuxCooked = 113; // what the "any" device delivers

QString privilegeHint() {
    // Name the running program, so the line can be pasted as it stands.
    const QString program = QCoreApplication::instance() != nullptr
                                ? QCoreApplication::applicationFilePath()
                                : QString();
    return QStringLiteral(
               "Capturing needs the CAP_NET_RAW and CAP_NET_ADMIN capabilities: run Quelmint as "
               "root, or grant them once with: sudo setcap cap_net_raw,cap_net_admin=eip %1")
        .arg(program.isEmpty() ? QStringLiteral("<path to quelmint>") : program);
}
} // namespace

void BpfDeleter::operator()(bpf_program* program) const {
    pcap_freecode(program);
    delete program;
}

BpfProgram compileFilter(pcap_t* handle, const QString& filter) {
    pcap_t* dead = nullptr;
    if (handle == nullptr) {
        dead = pcap_open_dead(DLT_EN10MB, 262144);
        if (dead == nullptr)
            throw CaptureError(QStringLiteral("The capture library cannot compile filters."));
        handle = dead;
    }
    BpfProgram program(new bpf_program{});
    const QByteArray text = filter.toLocal8Bit();
    if (pcap_compile(handle, program.get(), text.constData(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        const QString message = QString::fromLocal8Bit(pcap_geterr(handle));
        // Nothing was allocated by a failed compile.
        delete program.release();
        if (dead != nullptr)
            pcap_close(dead);
        throw CaptureError(message);
    }
    if (dead != nullptr)
        pcap_close(dead);
    return program;
}

qint32 linkTypeOf(const QString& name, unsigned int pcapFlags) {
    if (name == QLatin1String("any"))
        return kLinuxCooked;
    // Ask the kernel of our own network namespace (the sysfs view may belong to another one).
    const QByteArray device = name.toLocal8Bit();
    if (!device.isEmpty() && device.size() < IFNAMSIZ) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            ifreq request{};
            std::memcpy(request.ifr_name, device.constData(), size_t(device.size()));
            const bool ok = ioctl(fd, SIOCGIFHWADDR, &request) == 0;
            close(fd);
            if (ok)
                return request.ifr_hwaddr.sa_family; // ARPHRD_ETHER is 1, as is DLT_EN10MB
        }
    }
    if (pcapFlags & PCAP_IF_LOOPBACK)
        return kArphrdLoopback;
    return 0; // not a network device of the kernel (USB, D-Bus, netfilter queues)
}

DeviceState deviceState(const QString& name) {
    const QByteArray device = name.toLocal8Bit();
    if (device.isEmpty() || device.size() >= IFNAMSIZ)
        return DeviceState::Gone;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return DeviceState::Unknown;
    ifreq request{};
    std::memcpy(request.ifr_name, device.constData(), size_t(device.size()));
    const int result = ioctl(fd, SIOCGIFFLAGS, &request);
    const int error = errno;
    close(fd);
    if (result != 0)
        return error == ENODEV || error == ENXIO ? DeviceState::Gone : DeviceState::Unknown;
    return (request.ifr_flags & IFF_UP) != 0 ? DeviceState::Up : DeviceState::Down;
}

QString describe(const QString& name, qint32 linkType, unsigned int pcapFlags) {
    if (pcapFlags & PCAP_IF_LOOPBACK || linkType == kArphrdLoopback)
        return QStringLiteral("Loopback adapter %1").arg(name);
    if (pcapFlags & PCAP_IF_WIRELESS)
        return QStringLiteral("Wireless adapter %1").arg(name);
    if (linkType == kArphrdEther)
        return QStringLiteral("Ethernet adapter %1").arg(name);
    return QStringLiteral("Network adapter %1").arg(name);
}

QList<Adapter> listAdapters() {
    pcap_if_t* devices = nullptr;
    char error[PCAP_ERRBUF_SIZE] = {};
    if (pcap_findalldevs(&devices, error) != 0)
        throw CaptureError(QString::fromLocal8Bit(error));
    QList<Adapter> adapters;
    for (pcap_if_t* d = devices; d != nullptr; d = d->next) {
        Adapter adapter;
        adapter.Name = QString::fromLocal8Bit(d->name);
        adapter.LinkType = linkTypeOf(adapter.Name, d->flags);
        adapter.Description = d->description != nullptr && *d->description != '\0'
                                  ? QString::fromLocal8Bit(d->description)
                                  : describe(adapter.Name, adapter.LinkType, d->flags);
        for (pcap_addr_t* a = d->addresses; a != nullptr; a = a->next) {
            if (a->addr == nullptr || a->addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->addr);
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr)
                adapter.Addresses.append({QString::fromLatin1(text)});
        }
        adapters.append(adapter);
    }
    pcap_freealldevs(devices);
    return adapters;
}

bool adapterPresent(const QString& name) {
    if (name.isEmpty())
        return false;
    switch (deviceState(name)) {
    case DeviceState::Up:
        return true;
    case DeviceState::Down:
        return false; // cannot be opened until it is up again
    case DeviceState::Gone:
    case DeviceState::Unknown:
        break;
    }
    // Devices that are not kernel interfaces (such as "any") are found through pcap.
    try {
        for (const Adapter& a : listAdapters())
            if (a.Name == name)
                return if_nametoindex(name.toLocal8Bit().constData()) == 0;
    } catch (const CaptureError&) {
    }
    return false;
}

pcap_t* openLive(const QString& name, int snapLength, int bufferBytes) {
    char error[PCAP_ERRBUF_SIZE] = {};
    const QByteArray device = name.toLocal8Bit();
    pcap_t* handle = pcap_create(device.constData(), error);
    if (handle == nullptr)
        throw CaptureError(
            QStringLiteral("Cannot open adapter %1: %2").arg(name, QString::fromLocal8Bit(error)));
    pcap_set_snaplen(handle, snapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_buffer_size(handle, bufferBytes);
    pcap_set_timeout(handle, 50); // frames are handed out at least every 50 ms
    const int status = pcap_activate(handle);
    if (status < 0) {
        QString message = QString::fromLocal8Bit(pcap_geterr(handle));
        if (message.isEmpty())
            message = QString::fromLocal8Bit(pcap_statustostr(status));
        pcap_close(handle);
        switch (status) {
        case PCAP_ERROR_PERM_DENIED:
        case PCAP_ERROR_PROMISC_PERM_DENIED:
            throw CaptureError(QStringLiteral("Cannot capture on adapter %1: %2\r\n%3")
                                   .arg(name, message, privilegeHint()));
        case PCAP_ERROR_IFACE_NOT_UP:
            throw CaptureError(QStringLiteral("The adapter %1 is down (%2). Capture can start once "
                                              "it is up again.")
                                   .arg(name, message));
        case PCAP_ERROR_NO_SUCH_DEVICE:
            throw CaptureError(
                QStringLiteral("There is no adapter named %1 (%2).").arg(name, message));
        default:
            throw CaptureError(
                QStringLiteral("Cannot capture on adapter %1: %2").arg(name, message));
        }
    }
    if (pcap_setnonblock(handle, 1, error) != 0) {
        pcap_close(handle);
        throw CaptureError(QStringLiteral("Cannot capture on adapter %1: %2")
                               .arg(name, QString::fromLocal8Bit(error)));
    }
    return handle;
}

} // namespace pcapsupport
