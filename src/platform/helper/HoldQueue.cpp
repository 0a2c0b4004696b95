#include "platform/helper/HoldQueue.h"

#include "platform/helper/StreamRing.h"

#include <sys/mman.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

HoldQueue::~HoldQueue() {
    for (const Chunk& c : chunks_)
        munmap(c.data, kChunkBytes);
    if (spare_ != nullptr)
        munmap(spare_, kChunkBytes);
}

void HoldQueue::release(unsigned char* data) {
    if (spare_ == nullptr)
        spare_ = data;
    else
        munmap(data, kChunkBytes);
}

bool HoldQueue::reserve(std::size_t n) {
    // Room at the end of the last chunk, plus as many new chunks as the rest needs.
    std::size_t room = chunks_.empty() ? 0 : kChunkBytes - chunks_.back().end;
    while (room < n) {
        unsigned char* data = spare_;
        spare_ = nullptr;
        if (data == nullptr) {
            void* p = mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED)
                return false; // what was added stays, empty chunks are harmless
            data = static_cast<unsigned char*>(p);
        }
        chunks_.push_back({data, 0, 0});
        room += kChunkBytes;
    }
    return true;
}

void HoldQueue::copyIn(const unsigned char* data, std::size_t n) {
    // The first chunk with room: the last one that holds anything, or the first empty one.
    auto it = chunks_.end();
    while (it != chunks_.begin() && std::prev(it)->end == 0)
        --it;
    if (it != chunks_.begin() && std::prev(it)->end < kChunkBytes)
        --it;
    while (n > 0) {
        const std::size_t take = std::min(n, kChunkBytes - it->end);
        std::memcpy(it->data + it->end, data, take);
        it->end += take;
        data += take;
        n -= take;
        held_ += take;
        ++it;
    }
    peak_ = std::max(peak_, held_);
}

bool HoldQueue::append(const void* data, std::size_t n) {
    if (!reserve(n))
        return false;
    copyIn(static_cast<const unsigned char*>(data), n);
    return true;
}

bool HoldQueue::append2(const void* a, std::size_t an, const void* b, std::size_t bn) {
    if (!reserve(an + bn))
        return false;
    copyIn(static_cast<const unsigned char*>(a), an);
    copyIn(static_cast<const unsigned char*>(b), bn);
    return true;
}

long HoldQueue::writeTo(int fd) {
    constexpr int kMaxPieces = 16;
    iovec pieces[kMaxPieces];
    int count = 0;
    for (const Chunk& c : chunks_) {
        if (count == kMaxPieces || c.end == c.begin)
            break;
        pieces[count++] = {c.data + c.begin, c.end - c.begin};
    }
    if (count == 0)
        return 0;
    const ssize_t written = writev(fd, pieces, count);
    if (written < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    consumed(std::size_t(written));
    return long(written);
}

std::size_t HoldQueue::moveInto(streamring::Ring& ring) {
    std::size_t moved = 0;
    while (!chunks_.empty()) {
        const Chunk& c = chunks_.front();
        if (c.end == c.begin)
            break;
        const std::size_t n = ring.stageSome(c.data + c.begin, c.end - c.begin);
        if (n == 0)
            break;
        moved += n;
        consumed(n);
    }
    return moved;
}

void HoldQueue::consumed(std::size_t n) {
    held_ -= n;
    while (n > 0) {
        Chunk& c = chunks_.front();
        const std::size_t take = std::min(n, c.end - c.begin);
        c.begin += take;
        n -= take;
        if (c.begin == c.end && (c.end == kChunkBytes || chunks_.size() > 1)) {
            release(c.data);
            chunks_.pop_front();
        }
    }
    if (held_ == 0 && chunks_.size() == 1) {
        chunks_.front().begin = 0; // an emptied last chunk starts over
        chunks_.front().end = 0;
    }
}
