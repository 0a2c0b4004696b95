#include "platform/helper/LiveDevice.h"

#include "platform/helper/CaptureStream.h"

#include <pcap/pcap.h>

#include <linux/capability.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace livedevice {

DeviceState deviceState(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ)
        return DeviceState::Gone;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return DeviceState::Unknown;
    ifreq request{};
    std::memcpy(request.ifr_name, name.data(), name.size());
    const int result = ioctl(fd, SIOCGIFFLAGS, &request);
    const int error = errno;
    close(fd);
    if (result != 0)
        return error == ENODEV || error == ENXIO ? DeviceState::Gone : DeviceState::Unknown;
    return (request.ifr_flags & IFF_UP) != 0 ? DeviceState::Up : DeviceState::Down;
}

Opened open(const std::string& name, int bufferBytes, const std::string& filter) {
    Opened result;
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(name.c_str(), error);
    if (handle == nullptr) {
        result.code = PCAP_ERROR;
        result.message = error;
        return result;
    }
    pcap_set_snaplen(handle, kSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_buffer_size(handle, bufferBytes);
    pcap_set_timeout(handle, 50); // frames are handed out at least every 50 ms
    const int status = pcap_activate(handle);
    if (status < 0) {
        result.code = status;
        result.message = pcap_geterr(handle);
        if (result.message.empty())
            result.message = pcap_statustostr(status);
        pcap_close(handle);
        return result;
    }
    if (pcap_setnonblock(handle, 1, error) != 0) {
        result.code = PCAP_ERROR;
        result.message = error;
        pcap_close(handle);
        return result;
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        result.code = capturestream::kFilterRejected;
        result.message = pcap_geterr(handle);
        pcap_close(handle);
        return result;
    }
    const bool set = pcap_setfilter(handle, &program) == 0;
    pcap_freecode(&program);
    if (!set) {
        result.code = capturestream::kFilterRejected;
        result.message = pcap_geterr(handle);
        pcap_close(handle);
        return result;
    }
    if (pcap_get_selectable_fd(handle) < 0) {
        result.code = capturestream::kNotSelectable;
        result.message = "the capture cannot be waited for";
        pcap_close(handle);
        return result;
    }
    result.handle = handle;
    return result;
}

bool holdsNoCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const __user_cap_data_struct& d : data)
        if (d.permitted != 0 || d.effective != 0 || d.inheritable != 0)
            return false;
    return true;
}

bool dropPrivileges() {
    // Ambient capabilities would survive an exec; none may be left (older kernels lack them).
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
        return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    if (syscall(SYS_capset, &header, none) != 0)
        return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return holdsNoCapability();
}

} // namespace livedevice
