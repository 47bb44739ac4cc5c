#include "editor/update/VersionRecords.h"

#include <algorithm>
#include <cstring>

namespace valvora {
namespace {
std::int32_t littleEndian32(const unsigned char* bytes) noexcept
{
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return static_cast<std::int32_t>(value);
}
}  // namespace

std::int32_t VersionRecords::find(const Read& read, std::int32_t key)
{
    unsigned char record[recordSize];
    for (;;) {
        // A short read can only be the end of the data: the record it cut off
        // is no record, and there is nothing after it.
        if (read(record, recordSize) != static_cast<long>(recordSize)) return 0;
        if (littleEndian32(record) == key) return littleEndian32(record + 4);
    }
}

std::int32_t VersionRecords::findIn(const unsigned char* data, std::size_t size, std::int32_t key)
{
    std::size_t position = 0;
    return find(
        [&](unsigned char* into, std::size_t wanted) -> long {
            const std::size_t count = std::min(wanted, size - position);
            if (count > 0) std::memcpy(into, data + position, count);
            position += count;
            return static_cast<long>(count);
        },
        key);
}

}  // namespace valvora
