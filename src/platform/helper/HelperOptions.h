#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// What the capture helper is asked to do, checked before anything is opened:
///
///     quelmint-capture --interface NAME [--filter TEXT] [--buffer BYTES] [--hold BYTES]
///                      [--ring BYTES]
///
/// NAME: 1 to 15 bytes of A-Z a-z 0-9 _ . : @ - (the kernel's limit, and nothing a shell or a
/// path could make more of). TEXT: a capture filter of at most 64 KiB (empty: every frame).
/// --buffer: the kernel's capture buffer, 64 KiB to 256 MiB (locked kernel memory, so bounded
/// tightly). --hold: the helper's own buffer for frames the window has not read yet, 1 MiB to
/// 4 GiB of ordinary, pageable memory. --ring: the stream goes through a shared ring of that
/// many bytes (a power of two from 1 MiB to 256 MiB) on descriptor 3, a sealed memfd the window
/// made; without it, all of the stream goes through the pipe. Each option at most once; nothing
/// else is accepted.
struct HelperOptions {
    static constexpr std::size_t kMaxNameBytes = 15;
    static constexpr std::size_t kMaxFilterBytes = 64 * 1024;
    static constexpr std::int64_t kDefaultBufferBytes = 32 * 1024 * 1024;
    static constexpr std::int64_t kMinBufferBytes = 64 * 1024;
    static constexpr std::int64_t kMaxBufferBytes = 256 * 1024 * 1024;
    static constexpr std::int64_t kDefaultHoldBytes = 256LL * 1024 * 1024;
    static constexpr std::int64_t kMinHoldBytes = 1024 * 1024;
    static constexpr std::int64_t kMaxHoldBytes = 4LL * 1024 * 1024 * 1024;

    std::string interface;
    std::string filter;
    std::int64_t bufferBytes = kDefaultBufferBytes;
    std::int64_t holdBytes = kDefaultHoldBytes;
    std::int64_t ringBytes = 0; // 0: no ring

    /// The options of an argument vector (argv[0] is the program); nullopt with a one-line
    /// reason in *error when anything is wrong.
    static std::optional<HelperOptions> parse(int argc, const char* const* argv,
                                              std::string* error);

    /// True when a name is one the helper accepts as an adapter name.
    static bool validName(const std::string& name);
};
