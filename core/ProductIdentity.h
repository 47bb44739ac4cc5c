#pragma once
// Who the product is, once for every plug-in format and platform: the VST
// shell, the version check, the about view and the release archives all read
// it. CMake reads the three version numbers from this file to name the project
// and its archives, so keep each on a line of its own as written.

#include <cstddef>
#include <cstdint>

namespace valvora::identity {

inline constexpr int versionMajor = 1;
inline constexpr int versionMinor = 0;
inline constexpr int versionPatch = 0;

// The vendor version packs the three numbers as one decimal (1.0.00 is 1000)
// and the about view prints the patch with two digits: each has to stay
// within its digits or two versions would report the same number.
static_assert(versionMajor >= 0 && versionMinor >= 0 && versionMinor <= 9 && versionPatch >= 0 &&
              versionPatch <= 99);
inline constexpr std::int32_t vendorVersion = versionMajor * 1000 + versionMinor * 100 + versionPatch;

inline constexpr const char* effectName = "Valvora QX70";
inline constexpr const char* vendorName = "Kelmo";
inline constexpr const char* productName = "Kelmo Valvora QX70";

// Four characters packed high byte first, the way hosts and our version file
// store plug-in IDs.
constexpr std::int32_t packId(const char (&id)[5])
{
    std::uint32_t packed = 0;
    for (int i = 0; i < 4; ++i) packed = (packed << 8) | static_cast<unsigned char>(id[i]);
    return static_cast<std::int32_t>(packed);
}
inline constexpr std::int32_t uniqueId = packId("KVQX");

// The date of the commit this module was built from ("Mar 20 2014"), fixed at
// configure time so that two builds of one commit carry the same bytes.
// Any thread; no allocation.
const char* buildDate() noexcept;

// The about view's version line, "ver. 1.0.00 / Win64\n\rMar 20 2014": the
// version above, the caller's platform word and the build date. Bounded like
// snprintf (always terminated when size > 0); returns snprintf's count.
// Any thread; no allocation.
int formatVersionLine(char* buffer, std::size_t size, const char* platformWord,
                      const char* date = buildDate()) noexcept;

}  // namespace valvora::identity
