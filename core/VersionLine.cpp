#include <cstdio>

#include "core/ProductIdentity.h"

namespace valvora::identity {

int formatVersionLine(char* buffer, std::size_t size, const char* platformWord, const char* date) noexcept
{
    return std::snprintf(buffer, size, "ver. %d.%d.%02d / %s\n\r%s", versionMajor, versionMinor, versionPatch,
                         platformWord ? platformWord : "", date ? date : "");
}

}  // namespace valvora::identity
