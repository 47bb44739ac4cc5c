#pragma once
// The version file: 8-byte records (32-bit little-endian plug-in id, 32-bit
// little-endian signed version) with no header, read until our id turns up.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace valvora {

class VersionRecords {
public:
    static constexpr std::size_t recordSize = 8;

    // Fills up to `wanted` bytes; returns how many it read (fewer only at the
    // end of the data) or -1 when the read failed.
    using Read = std::function<long(unsigned char* into, std::size_t wanted)>;

    // Version of the first record carrying key, or 0 when a read fails or the
    // data ends (a trailing partial record included) before one does.
    // Check thread; allocates nothing itself.
    static std::int32_t find(const Read& read, std::int32_t key);
    // The same over a file already in memory.
    static std::int32_t findIn(const unsigned char* data, std::size_t size, std::int32_t key);
};

}  // namespace valvora
