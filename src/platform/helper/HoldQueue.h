#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace streamring {
class Ring;
}

/// The capture helper's own buffer: bytes of records waiting to be written to the window, in
/// chunks of ordinary anonymous memory (pageable, never locked) taken from the system as the
/// queue grows and given back as soon as a chunk has been written, so a long stall costs
/// memory only while it lasts.
class HoldQueue final {
public:
    static constexpr std::size_t kChunkBytes = 1024 * 1024;

    explicit HoldQueue(std::uint64_t limit) : limit_(limit) {}
    ~HoldQueue();
    HoldQueue(const HoldQueue&) = delete;
    HoldQueue& operator=(const HoldQueue&) = delete;

    /// True when n more bytes stay within the limit.
    bool fits(std::size_t n) const { return held_ + n <= limit_; }
    /// Appends bytes whatever the limit (records the window must get: status, statistics, end).
    /// False when the system gives no more memory (nothing is appended then).
    bool append(const void* data, std::size_t n);
    /// Appends the pieces as one record: all or nothing.
    bool append2(const void* a, std::size_t an, const void* b, std::size_t bn);

    /// Writes what the descriptor takes (non-blocking): the number of bytes written, 0 when it
    /// takes nothing now, -1 on an error (errno says which).
    long writeTo(int fd);
    /// Moves what fits into the shared ring (staged there, not yet published); returns how
    /// many bytes moved.
    std::size_t moveInto(streamring::Ring& ring);

    std::uint64_t held() const { return held_; }
    std::uint64_t peak() const { return peak_; }
    bool empty() const { return held_ == 0; }

private:
    struct Chunk {
        unsigned char* data;
        std::size_t begin; // first byte not yet written
        std::size_t end;   // one past the last byte appended
    };
    bool reserve(std::size_t n);
    void copyIn(const unsigned char* data, std::size_t n);
    void release(unsigned char* data);
    void consumed(std::size_t n);

    std::uint64_t limit_;
    std::uint64_t held_ = 0;
    std::uint64_t peak_ = 0;
    std::deque<Chunk> chunks_;
    unsigned char* spare_ = nullptr; // one written chunk kept for reuse
};
