#pragma once
// Builds version files byte by byte, independently of the parser under test.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace valvora::testing {

inline void appendLittleEndian(std::string& bytes, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((u >> shift) & 0xFF));
}

inline std::string versionFile(std::initializer_list<std::pair<std::int32_t, std::int32_t>> records)
{
    std::string bytes;
    for (const auto& [id, version] : records) {
        appendLittleEndian(bytes, id);
        appendLittleEndian(bytes, version);
    }
    return bytes;
}

// 'KVQX' as the host sees it, spelled out rather than taken from the code.
constexpr std::int32_t ourId = 0x4B565158;
constexpr std::int32_t otherId = 0x4B474D50;  // another Kelmo plug-in

}  // namespace valvora::testing
