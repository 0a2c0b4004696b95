#pragma once

// The stream the capture helper writes to the window over a pipe: a sequence of records, each
// an 8-byte header (kind, body length) and its body. Both ends run on one machine, so numbers
// are in the host's byte order. Plain C++: the helper links no Qt.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace capturestream {

/// Raised whenever the layout of a record changes; the window refuses another version.
constexpr std::uint32_t kVersion = 1;

enum class Kind : std::uint32_t {
    /// Once, first: whether the adapter was opened. Body: version (u32), code (i32, 0 = capturing,
    /// else libpcap's status or one of the helper's own codes below), link type (i32), message.
    Status = 1,
    /// One frame. Body: seconds (i64), microseconds (u32), length on the wire (u32), the
    /// captured bytes.
    Frame = 2,
    /// At least once a second. Body: five u64 totals since the helper started (see Statistics).
    Statistics = 3,
    /// Last: capture ended without being asked (the adapter went down or away). Body: the reason.
    End = 4,
    /// The next bytes of the stream wait in the shared ring (see StreamRing.h). Body: their
    /// count (u64). Only when the window gave the helper a ring.
    Ring = 5,
};

/// Codes of the status record besides libpcap's own (which are 0 or negative).
enum StatusCode : std::int32_t {
    kCapturing = 0,
    kFilterRejected = 1,     ///< the filter does not compile or cannot be set
    kNotSelectable = 2,      ///< the capture cannot be waited for with poll
    kPrivilegeNotDropped = 3 ///< the helper could not give up its capabilities: it stops
};

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kStatusFixedBytes = 12;
constexpr std::size_t kFrameFixedBytes = 16;
constexpr std::size_t kStatisticsBytes = 5 * 8;
constexpr std::size_t kRingBytes = 8;
/// Longest frame a record carries (the snapshot length) and longest text.
constexpr std::uint32_t kMaxCapture = 262144;
constexpr std::uint32_t kMaxText = 4096;

/// The statistics record's totals.
struct Statistics {
    std::uint64_t kernelDropped = 0;    ///< no room in the kernel's buffer (pcap_stats ps_drop)
    std::uint64_t interfaceDropped = 0; ///< dropped by the adapter (ps_ifdrop)
    std::uint64_t helperDropped = 0;    ///< no room in the helper's own buffer
    std::uint64_t heldBytes = 0;        ///< bytes waiting in the helper's buffer now
    std::uint64_t peakHeldBytes = 0;    ///< the most that ever waited there
};

/// One record as found in a buffer; pointers point into that buffer.
struct Record {
    Kind kind = Kind::Status;
    const unsigned char* body = nullptr;
    std::uint32_t length = 0;
};

/// Longest body a record of a kind may have; 0 for an unknown kind.
constexpr std::uint32_t maxBody(std::uint32_t kind) {
    switch (kind) {
    case std::uint32_t(Kind::Status):
        return std::uint32_t(kStatusFixedBytes) + kMaxText;
    case std::uint32_t(Kind::Frame):
        return std::uint32_t(kFrameFixedBytes) + kMaxCapture;
    case std::uint32_t(Kind::Statistics):
        return std::uint32_t(kStatisticsBytes);
    case std::uint32_t(Kind::End):
        return kMaxText;
    case std::uint32_t(Kind::Ring):
        return std::uint32_t(kRingBytes);
    default:
        return 0;
    }
}

/// Shortest body of a kind.
constexpr std::uint32_t minBody(std::uint32_t kind) {
    switch (kind) {
    case std::uint32_t(Kind::Status):
        return std::uint32_t(kStatusFixedBytes);
    case std::uint32_t(Kind::Frame):
        return std::uint32_t(kFrameFixedBytes);
    case std::uint32_t(Kind::Statistics):
        return std::uint32_t(kStatisticsBytes);
    case std::uint32_t(Kind::Ring):
        return std::uint32_t(kRingBytes);
    default:
        return 0;
    }
}

/// What next() found at the start of a buffer.
enum class Parse { Complete, Incomplete, Damaged };

/// Reads the record at data[0 .. size). Complete: *record is set and *used is its whole size.
/// Damaged: an unknown kind or a length outside what that kind may have.
inline Parse next(const unsigned char* data, std::size_t size, Record* record, std::size_t* used) {
    if (size < kHeaderBytes)
        return Parse::Incomplete;
    std::uint32_t kind = 0;
    std::uint32_t length = 0;
    std::memcpy(&kind, data, 4);
    std::memcpy(&length, data + 4, 4);
    if (maxBody(kind) == 0 || length > maxBody(kind) || length < minBody(kind))
        return Parse::Damaged;
    if (size - kHeaderBytes < length)
        return Parse::Incomplete;
    record->kind = Kind(kind);
    record->body = data + kHeaderBytes;
    record->length = length;
    *used = kHeaderBytes + length;
    return Parse::Complete;
}

/// Writes a record header into out[0 .. 8).
inline void putHeader(unsigned char* out, Kind kind, std::uint32_t length) {
    const auto k = std::uint32_t(kind);
    std::memcpy(out, &k, 4);
    std::memcpy(out + 4, &length, 4);
}

template <typename T> T read(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T> void write(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

/// The five totals of a statistics record's body (which next() checked for length).
inline Statistics statistics(const Record& r) {
    Statistics s;
    s.kernelDropped = read<std::uint64_t>(r.body);
    s.interfaceDropped = read<std::uint64_t>(r.body + 8);
    s.helperDropped = read<std::uint64_t>(r.body + 16);
    s.heldBytes = read<std::uint64_t>(r.body + 24);
    s.peakHeldBytes = read<std::uint64_t>(r.body + 32);
    return s;
}

} // namespace capturestream
