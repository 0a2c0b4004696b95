#include "platform/helper/HelperOptions.h"

#include "platform/helper/StreamRing.h"

#include <cstring>

namespace {

/// A decimal number of at most 12 digits within [low, high].
bool parseNumber(const char* text, std::int64_t low, std::int64_t high, std::int64_t* value) {
    const std::size_t n = std::strlen(text);
    if (n == 0 || n > 12)
        return false;
    std::int64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

std::string shown(const char* argument) {
    // Enough of a refused argument to recognise it, printable characters only.
    std::string out;
    for (const char* p = argument; *p != '\0' && out.size() < 40; ++p)
        out += (*p >= 0x20 && *p < 0x7f) ? *p : '?';
    return out;
}

} // namespace

bool HelperOptions::validName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameBytes)
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '.' || c == ':' || c == '@' ||
                        c == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::optional<HelperOptions> HelperOptions::parse(int argc, const char* const* argv,
                                                  std::string* error) {
    HelperOptions options;
    bool haveInterface = false, haveFilter = false, haveBuffer = false, haveHold = false,
         haveRing = false;
    auto refuse = [error](const std::string& why) {
        *error = why;
        return std::nullopt;
    };
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        bool* seen = nullptr;
        if (std::strcmp(option, "--interface") == 0)
            seen = &haveInterface;
        else if (std::strcmp(option, "--filter") == 0)
            seen = &haveFilter;
        else if (std::strcmp(option, "--buffer") == 0)
            seen = &haveBuffer;
        else if (std::strcmp(option, "--hold") == 0)
            seen = &haveHold;
        else if (std::strcmp(option, "--ring") == 0)
            seen = &haveRing;
        else
            return refuse("unknown argument \"" + shown(option) + "\"");
        if (*seen)
            return refuse(std::string(option) + " given twice");
        *seen = true;
        if (i + 1 >= argc)
            return refuse(std::string(option) + " needs a value");
        const char* value = argv[++i];
        if (seen == &haveInterface) {
            options.interface = value;
            if (!validName(options.interface))
                return refuse("the adapter name \"" + shown(value) +
                              "\" is not 1 to 15 of the characters A-Z a-z 0-9 _ . : @ -");
        } else if (seen == &haveFilter) {
            if (std::strlen(value) > kMaxFilterBytes)
                return refuse("the filter is longer than 65536 bytes");
            options.filter = value;
        } else if (seen == &haveBuffer) {
            if (!parseNumber(value, kMinBufferBytes, kMaxBufferBytes, &options.bufferBytes))
                return refuse("--buffer must be a number of bytes from 65536 to 268435456");
        } else if (seen == &haveRing) {
            if (!parseNumber(value, std::int64_t(streamring::kMinBytes),
                             std::int64_t(streamring::kMaxBytes), &options.ringBytes) ||
                !streamring::validSize(std::uint64_t(options.ringBytes)))
                return refuse("--ring must be a power of two from 1048576 to 268435456");
        } else if (!parseNumber(value, kMinHoldBytes, kMaxHoldBytes, &options.holdBytes)) {
            return refuse("--hold must be a number of bytes from 1048576 to 4294967296");
        }
    }
    if (!haveInterface)
        return refuse("--interface is missing");
    return options;
}
