#pragma once
// Fetches the version file over plain HTTP and finds our record in it:
// WinINet on Windows, libcurl elsewhere, the same limits on both.

#include <atomic>
#include <cstdint>

#include "editor/update/UpdateServer.h"

namespace valvora {

class VersionFetcher {
public:
    // Bounds the connection and, separately, any silence while waiting for data.
    static constexpr unsigned timeoutMs = 10000;

    // The version the server's version file gives for key, or 0 when none was
    // obtained (no connection, time-out, HTTP error, no such record).
    // Check thread only: blocks for up to the time-outs. Once `cancelled` is
    // set it gives up as soon as the platform's client lets it.
    static std::int32_t fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                     const std::atomic<bool>& cancelled);
};

}  // namespace valvora
