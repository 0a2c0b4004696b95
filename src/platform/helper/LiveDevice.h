#pragma once

#include <cstdint>
#include <string>

struct pcap;
typedef struct pcap pcap_t;

/// Plain helpers over libpcap and the kernel for the capture helper (and the window's adapter
/// checks); no Qt.
namespace livedevice {

/// How a kernel network device stands now.
enum class DeviceState { Up, Down, Gone, Unknown };
/// Asks the kernel (of the caller's network namespace) whether the device exists and is up.
/// Needs no privilege.
DeviceState deviceState(const std::string& name);

/// Snapshot length: the whole frame, also for offloaded frames of 64 KiB and more.
constexpr int kSnapLength = 262144;

/// The outcome of opening a device.
struct Opened {
    pcap_t* handle = nullptr; ///< null on failure
    int code = 0;             ///< 0, libpcap's status, or a capturestream::StatusCode
    std::string message;      ///< libpcap's words when it failed
};

/// Opens a device for promiscuous, non-blocking capture with the whole frame, a kernel buffer
/// of bufferBytes and frames handed out at least every 50 ms, and sets the filter (BPF text,
/// empty = every frame).
Opened open(const std::string& name, int bufferBytes, const std::string& filter);

/// Gives up every capability (permitted, effective, inheritable, ambient) and sets
/// no-new-privileges, then checks that none is left. False when any step failed.
bool dropPrivileges();

/// True when this process holds no capability in its permitted and effective sets.
bool holdsNoCapability();

} // namespace livedevice
