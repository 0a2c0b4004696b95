#pragma once

// A ring of bytes in memory that the capture helper and the window share (a sealed memfd the
// window creates and hands to the helper as descriptor 3). The helper stages records there
// and announces each run of staged bytes with a Ring record on the pipe; the window copies the
// announced bytes out and goes on reading the pipe. So the records keep their order, the pipe
// carries a few bytes per batch instead of every frame, and no page of frames is allocated,
// charged and freed per write. Neither side trusts the other's index: the window takes only
// what was announced, the helper frees only what the window can have read. Plain C++: the
// helper links no Qt.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace streamring {

/// The first page holds the two indices; the bytes follow it.
constexpr std::size_t kIndexBytes = 4096;
constexpr std::uint64_t kMinBytes = 1ULL << 20;
constexpr std::uint64_t kMaxBytes = 1ULL << 28;

/// A size the ring may have: a power of two from 1 MiB to 256 MiB.
constexpr bool validSize(std::uint64_t bytes) {
    return bytes >= kMinBytes && bytes <= kMaxBytes && (bytes & (bytes - 1)) == 0;
}

class Ring {
public:
    /// Uses the mapping at base: kIndexBytes of indices, then `bytes` of ring. Both ends start
    /// from the indices as they find them (0 in a new memfd).
    void attach(void* base, std::uint64_t bytes) {
        indices_ = static_cast<std::uint64_t*>(base);
        data_ = static_cast<unsigned char*>(base) + kIndexBytes;
        size_ = bytes;
        staged_ = published_ = taken_ = 0;
    }
    bool attached() const { return data_ != nullptr; }

    // ---- the helper's side ----

    /// Bytes that can be staged now: what the window has not yet taken is kept.
    std::uint64_t room() const {
        std::uint64_t taken = load(kTaken);
        // A window that says it took more than was announced, or less than before, frees
        // nothing more.
        if (taken > published_ || taken < freed_)
            taken = freed_;
        freed_ = taken;
        return size_ - (staged_ - taken);
    }
    /// Stages the pieces as one: all of them or, when they do not fit, none.
    bool stage(const void* a, std::size_t an, const void* b = nullptr, std::size_t bn = 0) {
        if (room() < an + bn)
            return false;
        put(a, an);
        put(b, bn);
        return true;
    }
    /// Stages as much of the bytes as fits; returns how many.
    std::size_t stageSome(const void* p, std::size_t n) {
        const std::uint64_t r = room();
        const std::size_t take = r < n ? std::size_t(r) : n;
        put(p, take);
        return take;
    }
    /// Staged bytes not yet published.
    std::uint64_t unpublished() const { return staged_ - published_; }
    /// Makes the staged bytes visible to the window; returns how many were published.
    std::uint64_t publish() {
        const std::uint64_t n = staged_ - published_;
        published_ = staged_;
        store(kPublished, published_);
        return n;
    }

    // ---- the window's side ----

    /// Copies the next n announced bytes out. False when the helper has not published them.
    bool take(void* out, std::size_t n) {
        const std::uint64_t published = load(kPublished);
        if (published < taken_ || published - taken_ < n || n > size_)
            return false;
        const std::uint64_t at = taken_ & (size_ - 1);
        const std::size_t first = std::size_t(size_ - at) < n ? std::size_t(size_ - at) : n;
        std::memcpy(out, data_ + at, first);
        std::memcpy(static_cast<unsigned char*>(out) + first, data_, n - first);
        taken_ += n;
        store(kTaken, taken_);
        return true;
    }

private:
    static constexpr int kPublished = 0; // written by the helper
    static constexpr int kTaken = 8;     // written by the window (a cache line apart)

    std::uint64_t load(int index) const {
        return std::atomic_ref<std::uint64_t>(indices_[index]).load(std::memory_order_acquire);
    }
    void store(int index, std::uint64_t value) {
        std::atomic_ref<std::uint64_t>(indices_[index]).store(value, std::memory_order_release);
    }
    void put(const void* p, std::size_t n) {
        if (n == 0)
            return;
        const std::uint64_t at = staged_ & (size_ - 1);
        const std::size_t first = std::size_t(size_ - at) < n ? std::size_t(size_ - at) : n;
        std::memcpy(data_ + at, p, first);
        std::memcpy(data_, static_cast<const unsigned char*>(p) + first, n - first);
        staged_ += n;
    }

    std::uint64_t* indices_ = nullptr;
    unsigned char* data_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t staged_ = 0;        // helper: bytes put in the ring so far
    std::uint64_t published_ = 0;     // helper: bytes the window may take
    mutable std::uint64_t freed_ = 0; // helper: the window's last believable index
    std::uint64_t taken_ = 0;         // window: bytes copied out so far
};

} // namespace streamring
