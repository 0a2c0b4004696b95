#pragma once

#include "platform/CaptureTypes.h"
#include "platform/LinkTypes.h"

#include <memory>

struct bpf_program;

/// What the window itself asks of libpcap and the kernel: filters, adapters and their state.
/// None of it needs a privilege; frames come from the capture helper.
namespace pcapsupport {

struct BpfDeleter {
    void operator()(bpf_program* program) const;
};
/// A compiled filter, freed on destruction.
using BpfProgram = std::unique_ptr<bpf_program, BpfDeleter>;

constexpr qint32 kLinkEthernet = linktype::kEthernet;
constexpr qint32 kLinkLinuxCooked = linktype::kLinuxCooked; ///< what the "any" device delivers

/// Compiles a BPF text for frames of a link type (Ethernet unless given). Throws pcap's message.
BpfProgram compileFilter(const QString& filter, qint32 linkType = kLinkEthernet);

/// The adapters of this network namespace in the kernel's order, then "any"; their IPv4 and
/// IPv6 addresses in the order the kernel lists them (IPv4 first), "any" all of them. LinkType
/// is the link
/// type their frames will have (libpcap's DLT number), or the kernel's hardware type for kinds
/// Quelmint cannot read. Throws when the system cannot list them.
QList<Adapter> listAdapters();

/// True when Quelmint can monitor the adapter: its frames are of a link type it reads, and it
/// is not the loopback device.
bool monitorable(const Adapter& adapter);

/// The adapter that carries the default route (IPv4 first, else IPv6) in this namespace;
/// empty when there is none. procNet: where the kernel's route tables are read.
QString defaultRouteAdapter(const QString& procNet = QStringLiteral("/proc/net"));

/// True when a device of that name exists now and can be opened: a kernel device that is down
/// counts as absent until it is up again; "any" is always there.
bool adapterPresent(const QString& name);

/// How a kernel network device stands now.
enum class DeviceState { Up, Down, Gone, Unknown };
/// Asks the kernel (of the caller's network namespace) whether the device exists and is up.
DeviceState deviceState(const QString& name);

/// The link type of a device's frames: libpcap's DLT number for the kinds of hardware Quelmint
/// reads (1 Ethernet and Wi-Fi, 12 raw IP tunnels and mobile broadband, 113 PPP, "any" and
/// other cooked links), the kernel's hardware type number otherwise (772 loopback), 0 for a
/// name the kernel does not know.
qint32 linkTypeOf(const QString& name);
/// The link type of a kernel hardware type (ARPHRD_*), as linkTypeOf gives it.
qint32 linkTypeOfHardware(qint32 hardwareType);

/// A readable description of a device.
QString describe(const QString& name, qint32 linkType, bool loopback, bool wireless);

/// libpcap's version text, as pcap_lib_version gives it.
QString libraryVersion();

/// How far a drop counter of pcap_stats advanced from before to now. A counter that went
/// backwards (wrapped, or the adapter's own counters were reset) counts from 0.
constexpr quint64 counterAdvance(quint32 before, quint32 now) {
    return now >= before ? quint64(now - before) : quint64(now);
}

} // namespace pcapsupport
