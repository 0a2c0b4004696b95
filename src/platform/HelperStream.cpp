#include "platform/HelperStream.h"

#include "platform/helper/CaptureStream.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
/// Room for a whole record of the largest kind and a read's worth of announcements.
constexpr std::size_t kBufferBytes = capturestream::kHeaderBytes + capturestream::kFrameFixedBytes +
                                     capturestream::kMaxCapture + 64 * 1024;
} // namespace

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
