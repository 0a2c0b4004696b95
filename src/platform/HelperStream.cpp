#include "platform/HelperStream.h"

#include "platform/helper/CaptureStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
/// Room for a whole record of the largest kind and a read's worth of announcements.
constexpr std::size_t kBufferBytes = capturestream::kHeaderBytes + capturestream::kFrameFixedBytes +
                                     capturestream::kMaxCapture + 64 * 1024;
constexpr std::uint64_t kSharedRingBytes = 32 * 1024 * 1024;
} // namespace

std::uint64_t HelperStream::ringSizeFor(std::int64_t holdBytes) {
    std::uint64_t size = kSharedRingBytes;
    while (size > streamring::kMinBytes && size > std::uint64_t(holdBytes))
        size /= 2;
    return size;
}

std::pair<int, void*> HelperStream::makeRing(std::uint64_t bytes) {
    const int fd = memfd_create("quelmint-capture-ring", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return {-1, nullptr};
    const std::size_t size = streamring::kIndexBytes + std::size_t(bytes);
    void* map = MAP_FAILED;
    if (ftruncate(fd, off_t(size)) == 0 &&
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0)
        map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return {-1, nullptr};
    }
    return {fd, map};
}

HelperStream::HelperStream(int pipe, void* ring, std::uint64_t ringBytes) : pipe_(pipe) {
    if (ring != nullptr) {
        map_ = ring;
        mapBytes_ = streamring::kIndexBytes + std::size_t(ringBytes);
        ring_.attach(ring, ringBytes);
        buffer_.resize(kBufferBytes);
    }
}

HelperStream::~HelperStream() {
    if (map_ != nullptr)
        munmap(map_, mapBytes_);
}

ssize_t HelperStream::read(unsigned char* out, std::size_t room) {
    if (!ring_.attached())
        return ::read(pipe_, out, room);
    for (;;) {
        const std::size_t done = broken_ ? 0 : drainBuffered(out, room, &broken_);
        if (done > 0)
            return ssize_t(done);
        if (broken_) {
            errno = EPROTO;
            return -1;
        }
        if (ended_)
            return 0;
        if (pipeAt_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + pipeAt_, pipeHave_ - pipeAt_);
            pipeHave_ -= pipeAt_;
            pipeAt_ = 0;
        }
        const ssize_t n = ::read(pipe_, buffer_.data() + pipeHave_, buffer_.size() - pipeHave_);
        if (n > 0) {
            pipeHave_ += std::size_t(n);
        } else if (n == 0) {
            ended_ = true;
            passThrough_ = true; // a record cut short by the end is handed out as it is
        } else {
            return -1;
        }
    }
}

std::size_t HelperStream::drainBuffered(unsigned char* out, std::size_t room, bool* broken) {
    using namespace capturestream;
    std::size_t done = 0;
    while (done < room) {
        if (ringLeft_ > 0) {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(ringLeft_, room - done));
            if (!ring_.take(out + done, n)) {
                *broken = true; // announced, but not in the ring
                return done;
            }
            ringLeft_ -= n;
            done += n;
            continue;
        }
        if (pipeAt_ >= pipeHave_)
            break;
        const unsigned char* at = buffer_.data() + pipeAt_;
        const std::size_t left = pipeHave_ - pipeAt_;
        std::size_t take = std::min(left, room - done);
        if (!passThrough_) {
            Record record;
            std::size_t used = 0;
            const Parse parse = next(at, left, &record, &used);
            if (parse == Parse::Incomplete)
                break;
            if (parse == Parse::Damaged) {
                passThrough_ = true; // the reader finds the damage where it is
                continue;
            }
            if (record.kind == Kind::Ring) {
                ringLeft_ = capturestream::read<std::uint64_t>(record.body);
                pipeAt_ += used;
                continue;
            }
            if (used > room - done)
                break; // whole records only
            take = used;
        }
        std::memcpy(out + done, at, take);
        pipeAt_ += take;
        done += take;
    }
    return done;
}
