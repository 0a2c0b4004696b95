#include "platform/helper/CaptureHelper.h"

#include "platform/helper/CaptureStream.h"
#include "platform/helper/HelperOptions.h"
#include "platform/helper/HoldQueue.h"
#include "platform/helper/LiveDevice.h"
#include "platform/helper/StreamRing.h"

#include <pcap/pcap.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using namespace capturestream;

constexpr int kOut = 1;
/// The shared ring, when the window gives one.
constexpr int kRingFd = 3;
/// While the window has made no room in the ring, the helper looks again this often.
constexpr std::int64_t kRetryMs = 20;
/// Frames are written to the window once this much waits, or once the oldest has waited
/// kFlushMs: the window is woken in batches, not per frame.
constexpr std::uint64_t kFlushBytes = 768 * 1024;
constexpr std::int64_t kFlushMs = 50;
constexpr std::int64_t kStatisticsMs = 1000;
/// A kernel buffer of at least kRestingBufferBytes is read at most every kReadGapMs: it holds
/// far more than that many milliseconds of frames, and a busy adapter then wakes the helper 50
/// times a second rather than once per filled kernel block. A smaller one is read at once.
constexpr std::int64_t kReadGapMs = 20;
constexpr std::int64_t kRestingBufferBytes = 16 * 1024 * 1024;
/// Reads of the kernel's ring per wake-up before the pipe gets its turn again.
constexpr int kReadRounds = 64;
/// Wake-ups in a row that report an error on the capture but deliver nothing: the capture is
/// broken even though the device looks fine.
constexpr int kErrorWakeups = 100;

std::int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::uint64_t advance(std::uint32_t before, std::uint32_t now) {
    // A counter that went backwards (wrapped, or reset by the adapter) counts from 0.
    return now >= before ? std::uint64_t(now - before) : std::uint64_t(now);
}

class Helper {
public:
    Helper(const HelperOptions& options, void* ring)
        : options_(options), queue_(options.holdBytes) {
        if (ring != nullptr)
            ring_.attach(ring, std::uint64_t(options.ringBytes));
    }

    int run() {
        const livedevice::Opened opened =
            livedevice::open(options_.interface, int(options_.bufferBytes), options_.filter);
        if (opened.handle == nullptr) {
            status(opened.code, 0, opened.message);
            drain();
            return 1;
        }
        handle_ = opened.handle;
        if (!livedevice::dropPrivileges()) {
            pcap_close(handle_);
            status(kPrivilegeNotDropped, 0, "the capture helper could not give up its privileges");
            drain();
            return 1;
        }
        kernelDevice_ = livedevice::deviceState(options_.interface) == livedevice::DeviceState::Up;
        status(kCapturing, pcap_datalink(handle_), std::string());
        drain(); // the status goes through the pipe; what follows, through the ring if there is one
        return loop();
    }

private:
    static void onFrame(unsigned char* user, const pcap_pkthdr* h, const unsigned char* bytes) {
        auto* self = reinterpret_cast<Helper*>(user);
        const std::uint32_t captured = std::min({h->caplen, h->len, kMaxCapture});
        unsigned char head[kHeaderBytes + kFrameFixedBytes];
        putHeader(head, Kind::Frame, std::uint32_t(kFrameFixedBytes) + captured);
        write<std::int64_t>(head + 8, std::int64_t(h->ts.tv_sec));
        write<std::uint32_t>(head + 16, std::uint32_t(h->ts.tv_usec));
        write<std::uint32_t>(head + 20, h->len);
        // Straight into the ring while nothing older waits in the queue; else into the queue
        // within its limit.
        const bool staged = self->queue_.empty() && self->ring_.attached() &&
                            self->ring_.stage(head, sizeof head, bytes, captured);
        if (!staged && (!self->queue_.fits(sizeof head + captured) ||
                        !self->queue_.append2(head, sizeof head, bytes, captured)))
            ++self->helperDropped_;
        ++self->framesRead_;
    }

    void status(std::int32_t code, std::int32_t linkType, const std::string& message) {
        const std::string text = message.substr(0, kMaxText);
        unsigned char head[kHeaderBytes + kStatusFixedBytes];
        putHeader(head, Kind::Status, std::uint32_t(kStatusFixedBytes + text.size()));
        write<std::uint32_t>(head + 8, kVersion);
        write<std::int32_t>(head + 12, code);
        write<std::int32_t>(head + 16, linkType);
        queue_.append2(head, sizeof head, text.data(), text.size()); // through the pipe
        urgent_ = true;
    }

    /// A record the window must get: into the ring while nothing older waits in the queue,
    /// else into the queue whatever its limit.
    void put(const void* a, std::size_t an, const void* b = nullptr, std::size_t bn = 0) {
        if (queue_.empty() && ring_.attached() && ring_.stage(a, an, b, bn))
            return;
        queue_.append2(a, an, b, bn);
    }

    void statistics() {
        if (handle_ != nullptr) {
            pcap_stat s{};
            if (pcap_stats(handle_, &s) == 0) {
                kernelDropped_ += advance(lastDrop_, s.ps_drop);
                interfaceDropped_ += advance(lastIfDrop_, s.ps_ifdrop);
                lastDrop_ = s.ps_drop;
                lastIfDrop_ = s.ps_ifdrop;
            }
        }
        unsigned char record[kHeaderBytes + kStatisticsBytes];
        putHeader(record, Kind::Statistics, std::uint32_t(kStatisticsBytes));
        write<std::uint64_t>(record + 8, kernelDropped_);
        write<std::uint64_t>(record + 16, interfaceDropped_);
        write<std::uint64_t>(record + 24, helperDropped_);
        write<std::uint64_t>(record + 32, queue_.held() + ring_.unpublished());
        write<std::uint64_t>(record + 40, queue_.peak());
        put(record, sizeof record);
        urgent_ = true;
    }

    /// Capture ended on its own: the last statistics, the reason, then what waits is written.
    void end(const std::string& reason) {
        statistics();
        pcap_close(handle_);
        handle_ = nullptr;
        const std::string text = reason.substr(0, kMaxText);
        unsigned char head[kHeaderBytes];
        putHeader(head, Kind::End, std::uint32_t(text.size()));
        put(head, sizeof head, text.data(), text.size());
        urgent_ = true;
    }

    /// Writes everything queued, waiting as long as the reader takes.
    void drain() {
        while (!queue_.empty()) {
            pollfd out{kOut, POLLOUT, 0};
            if (poll(&out, 1, -1) < 0 && errno != EINTR)
                return;
            if ((out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 || queue_.writeTo(kOut) < 0)
                return;
        }
    }

    /// Nothing waits to go to the window.
    bool sent() const { return queue_.empty() && ring_.unpublished() == 0 && announceLeft_ == 0; }
    std::uint64_t waiting() const { return queue_.held() + ring_.unpublished(); }

    /// With a ring: moves what the queue holds into it, publishes what is staged and announces
    /// it on the pipe. False when the window has gone.
    bool sendThroughRing() {
        if (!announce())
            return false;
        if (announceLeft_ == 0) {
            queue_.moveInto(ring_);
            if (ring_.unpublished() > 0) {
                putHeader(announcement_, Kind::Ring, std::uint32_t(kRingBytes));
                write<std::uint64_t>(announcement_ + kHeaderBytes, ring_.publish());
                announceLeft_ = sizeof announcement_;
                if (!announce())
                    return false;
            }
        }
        blocked_ = !queue_.empty() || announceLeft_ > 0;
        return true;
    }

    /// Writes what is left of the announcement; false when the window has gone.
    bool announce() {
        while (announceLeft_ > 0) {
            const ssize_t n =
                ::write(kOut, announcement_ + sizeof announcement_ - announceLeft_, announceLeft_);
            if (n > 0)
                announceLeft_ -= std::size_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK); // a full pipe: later
        }
        return true;
    }

    /// Reads the kernel's ring: false once capture has ended.
    bool readFrames(bool woken, bool errorReported) {
        const std::uint64_t before = framesRead_;
        for (int round = 0; round < kReadRounds; ++round) {
            const int n = pcap_dispatch(handle_, -1, &Helper::onFrame,
                                        reinterpret_cast<unsigned char*>(this));
            if (n < 0) {
                end(std::string("Capture on ") + options_.interface +
                    " failed: " + pcap_geterr(handle_));
                return false;
            }
            if (n == 0)
                break;
        }
        if (framesRead_ > before) {
            errorWakeups_ = 0;
            if (pendingSince_ < 0)
                pendingSince_ = nowMs();
            return true;
        }
        if (woken && kernelDevice_) {
            // Woken with nothing to read: taking a device down only flags an error on the
            // capture, which libpcap does not report, so ask the kernel how the device stands.
            switch (livedevice::deviceState(options_.interface)) {
            case livedevice::DeviceState::Down:
                end("The adapter " + options_.interface + " went down.");
                return false;
            case livedevice::DeviceState::Gone:
                end("The adapter " + options_.interface + " disappeared.");
                return false;
            default:
                break;
            }
        }
        if (errorReported) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(pcap_get_selectable_fd(handle_), SOL_SOCKET, SO_ERROR, &error, &size);
            if (++errorWakeups_ >= kErrorWakeups) {
                end("Capture on " + options_.interface + " failed: the adapter reports errors.");
                return false;
            }
        }
        return true;
    }

    int loop() {
        const int captureFd = pcap_get_selectable_fd(handle_);
        const timeval* required = pcap_get_required_select_timeout(handle_);
        const std::int64_t readEveryMs =
            required != nullptr
                ? std::max<std::int64_t>(1, required->tv_sec * 1000 + required->tv_usec / 1000)
                : -1;
        std::int64_t nextStatistics = nowMs() + kStatisticsMs;
        std::int64_t nextRead = readEveryMs > 0 ? nowMs() + readEveryMs : -1;
        const std::int64_t readGapMs = options_.bufferBytes >= kRestingBufferBytes ? kReadGapMs : 0;
        std::int64_t lastRead = nowMs() - readGapMs;
        pendingSince_ = nowMs();
        for (;;) {
            std::int64_t now = nowMs();
            if (handle_ != nullptr && now >= nextStatistics) {
                statistics();
                nextStatistics = now + kStatisticsMs;
            }
            if (handle_ == nullptr && sent())
                return 0; // ended, and the window has everything
            if (sent()) {
                pendingSince_ = -1;
                urgent_ = false;
            }
            bool flush = !sent() && (urgent_ || handle_ == nullptr || waiting() >= kFlushBytes ||
                                     now - pendingSince_ >= kFlushMs);
            if (flush && ring_.attached()) {
                // The ring takes what fits at once; the pipe only carries the announcement.
                if (!sendThroughRing())
                    return 0; // the window has gone
                if (!sent())
                    pendingSince_ = now;
                flush = false;
            }
            std::int64_t wait = handle_ != nullptr ? nextStatistics - now : -1;
            if (!sent() && !flush)
                wait = wait < 0 ? std::max<std::int64_t>(pendingSince_ + kFlushMs - now, 0)
                                : std::min(wait, pendingSince_ + kFlushMs - now);
            if (blocked_) // the window has not made room yet
                wait = wait < 0 ? kRetryMs : std::min(wait, kRetryMs);
            if (handle_ != nullptr && nextRead >= 0)
                wait = std::min(wait, nextRead - now);
            const bool rested = now - lastRead >= readGapMs;
            if (handle_ != nullptr && !rested)
                wait = wait < 0 ? lastRead + readGapMs - now
                                : std::min(wait, lastRead + readGapMs - now);
            pollfd fds[2] = {{handle_ != nullptr && rested ? captureFd : -1, POLLIN, 0},
                             {kOut, short(flush ? POLLOUT : 0), 0}};
            const int ready = poll(fds, 2, int(std::max<std::int64_t>(wait, 0)));
            if (ready < 0 && errno != EINTR)
                return 1;
            if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return 0; // the window has gone
            if ((fds[1].revents & POLLOUT) != 0) {
                if (queue_.writeTo(kOut) < 0)
                    return 0; // EPIPE: the window has gone
                if (!queue_.empty())
                    pendingSince_ = nowMs();
            }
            now = nowMs();
            const bool woken = handle_ != nullptr && fds[0].revents != 0;
            const bool due = handle_ != nullptr && nextRead >= 0 && now >= nextRead;
            if (woken || due) {
                if (due)
                    nextRead = now + readEveryMs;
                lastRead = now;
                readFrames(woken, (fds[0].revents & (POLLERR | POLLHUP)) != 0);
            }
        }
    }

    HelperOptions options_;
    HoldQueue queue_;
    pcap_t* handle_ = nullptr;
    bool kernelDevice_ = false;
    bool urgent_ = false;
    std::int64_t pendingSince_ = -1; // when the oldest byte not yet written was queued
    std::uint64_t framesRead_ = 0;
    std::uint64_t helperDropped_ = 0;
    std::uint64_t kernelDropped_ = 0;
    std::uint64_t interfaceDropped_ = 0;
    std::uint32_t lastDrop_ = 0;
    std::uint32_t lastIfDrop_ = 0;
    int errorWakeups_ = 0;
    streamring::Ring ring_;
    unsigned char announcement_[kHeaderBytes + kRingBytes] = {};
    std::size_t announceLeft_ = 0; // bytes of the announcement not yet on the pipe
    bool blocked_ = false;         // the last send left bytes that the ring had no room for
};

void closeInheritedDescriptors() {
    // Only standard input, output and error are ours, and the ring if one was asked for.
    if (close_range(kRingFd + 1, ~0U, 0) == 0)
        return;
    for (int fd = kRingFd + 1; fd < 1024; ++fd)
        close(fd);
}

/// Maps the window's ring: a memfd of exactly the size asked for, sealed so that it cannot
/// shrink under the helper. nullptr with the reason in *error otherwise.
void* mapRing(std::int64_t bytes, std::string* error) {
    struct stat st {};
    const std::int64_t size = std::int64_t(streamring::kIndexBytes) + bytes;
    if (fstat(kRingFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != size) {
        *error = "descriptor 3 is not a ring of " + std::to_string(bytes) + " bytes";
        return nullptr;
    }
    const int seals = fcntl(kRingFd, F_GET_SEALS);
    if (seals < 0 || (seals & F_SEAL_SHRINK) == 0) {
        *error = "the ring on descriptor 3 is not sealed against shrinking";
        return nullptr;
    }
    void* p = mmap(nullptr, std::size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, kRingFd, 0);
    close(kRingFd);
    if (p == MAP_FAILED) {
        *error = std::string("the ring cannot be mapped: ") + std::strerror(errno);
        return nullptr;
    }
    return p;
}

} // namespace

int runCaptureHelper(int argc, const char* const* argv) {
    const pid_t parent = getppid();
    closeInheritedDescriptors();
    std::string error;
    const std::optional<HelperOptions> options = HelperOptions::parse(argc, argv, &error);
    if (!options) {
        std::fprintf(stderr, "quelmint-capture: %s\n", error.c_str());
        return 2;
    }
    void* ring = nullptr;
    if (options->ringBytes > 0) {
        ring = mapRing(options->ringBytes, &error);
        if (ring == nullptr) {
            std::fprintf(stderr, "quelmint-capture: %s\n", error.c_str());
            return 2;
        }
    } else {
        close(kRingFd);
    }
    if (isatty(kOut)) {
        std::fprintf(stderr, "quelmint-capture: the output is a terminal; quelmint starts this "
                             "program and reads its output\n");
        return 2;
    }
    clearenv();
    std::signal(SIGPIPE, SIG_IGN);
    // End with the window: a signal when it dies, and a look whether it died before that was set.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        return 0;
    const int flags = fcntl(kOut, F_GETFL);
    if (flags < 0 || fcntl(kOut, F_SETFL, flags | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "quelmint-capture: the output cannot be written without waiting\n");
        return 2;
    }
    Helper helper(*options, ring);
    return helper.run();
}
