#pragma once

#include "platform/helper/StreamRing.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

/// The capture helper's stream as the window reads it: the records that come through the
/// pipe, with each Ring announcement replaced by the bytes it announces, copied out of the
/// shared ring. Without a ring it is the pipe's bytes as they come.
class HelperStream final {
public:
    /// A stream on the pipe's read end (not owned). `ring`: the window's mapping of the shared
    /// memory (kIndexBytes + ringBytes, unmapped by this object), or nullptr.
    HelperStream(int pipe, void* ring, std::uint64_t ringBytes);
    ~HelperStream();
    HelperStream(const HelperStream&) = delete;
    HelperStream& operator=(const HelperStream&) = delete;

    /// Like read(2) on the pipe: up to `room` bytes of whole records where a record fits (or
    /// its start), 0 at the end of the stream, -1 with errno EAGAIN when nothing waits now,
    /// another errno for a broken pipe, EPROTO for an announcement the ring does not hold.
    ssize_t read(unsigned char* out, std::size_t room);

    /// The ring for a helper whose own buffer holds holdBytes: 32 MiB (over a second of
    /// minimal frames at 400,000 a second), halved while it is larger than that buffer, so the
    /// two together hold a stall's frames.
    static std::uint64_t ringSizeFor(std::int64_t holdBytes);
    /// A sealed memfd of kIndexBytes + bytes, mapped: the descriptor and the mapping, or -1 and
    /// nullptr where the system gives none (the stream then goes through the pipe alone).
    static std::pair<int, void*> makeRing(std::uint64_t bytes);

    /// True when bytes can be read without the pipe becoming readable again.
    bool pending() const { return !broken_ && (ringLeft_ > 0 || pipeAt_ < pipeHave_); }

private:
    /// Copies what waits in the pipe buffer (records, announced ring bytes) to out.
    std::size_t drainBuffered(unsigned char* out, std::size_t room, bool* broken);

    int pipe_;
    void* map_ = nullptr;
    std::size_t mapBytes_ = 0;
    streamring::Ring ring_;
    std::vector<unsigned char> buffer_; // bytes read from the pipe, not yet handed out
    std::size_t pipeAt_ = 0;
    std::size_t pipeHave_ = 0;
    std::uint64_t ringLeft_ = 0; // announced bytes not yet copied out of the ring
    bool passThrough_ = false;   // a damaged record: the rest is handed out as it is
    bool ended_ = false;
    bool broken_ = false; // an announcement the ring did not hold: nothing more is read
};
