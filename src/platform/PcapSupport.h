#pragma once

#include "platform/CaptureTypes.h"

#include <memory>

struct pcap;
typedef struct pcap pcap_t;
struct bpf_program;

/// Small helpers over libpcap shared by the live and the file capture.
namespace pcapsupport {

struct BpfDeleter {
    void operator()(bpf_program* program) const;
};
/// A compiled filter, freed on destruction.
using BpfProgram = std::unique_ptr<bpf_program, BpfDeleter>;

/// Compiles a BPF text; on a null handle it compiles for Ethernet. Throws pcap's message.
BpfProgram compileFilter(pcap_t* handle, const QString& filter);

/// The adapters present now, IPv4 addresses only. Throws when the system cannot list them.
QList<Adapter> listAdapters();

/// True when a device of that name exists now and can be opened: a kernel device that is down
/// counts as absent until it is up again.
bool adapterPresent(const QString& name);

/// How a kernel network device stands now.
enum class DeviceState { Up, Down, Gone, Unknown };
/// Asks the kernel (of the caller's network namespace) whether the device exists and is up.
DeviceState deviceState(const QString& name);

/// The link type of a device: 1 for Ethernet, the hardware type number otherwise.
qint32 linkTypeOf(const QString& name, unsigned int pcapFlags);

/// A readable description for a device that pcap gives none for.
QString describe(const QString& name, qint32 linkType, unsigned int pcapFlags);

/// Opens a device for promiscuous, non-blocking capture. Throws with an actionable text.
pcap_t* openLive(const QString& name, int snapLength, int bufferBytes);

/// How far a drop counter of pcap_stats advanced from before to now. A counter that went
/// backwards (wrapped, or the adapter's own counters were reset) counts from 0.
constexpr quint64 counterAdvance(quint32 before, quint32 now) {
    return now >= before ? quint64(now - before) : quint64(now);
}

} // namespace pcapsupport
