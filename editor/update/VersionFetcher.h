#pragma once
// Fetches the version file over plain HTTP and finds our record in it:
// WinINet on Windows, libcurl elsewhere, the same limits on both.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "editor/update/UpdateServer.h"

namespace valvora {

// Lets the window thread stop a transfer that the check thread is blocked
// in, at once rather than at the transfer's next time-out: closing an editor
// or a plug-in must not keep the host waiting on a silent server.
class TransferAbort {
public:
    // Window thread: the transfer running now fails, and any later one at once.
    void abort() noexcept;
    bool aborted() const noexcept { return aborted_.load(std::memory_order_acquire); }

    // Check thread: a client handle whose closing ends the transfer (WinINet's
    // root, connection and request, in that order); abort() closes the last
    // one first. False when the transfer was aborted already: the caller
    // then closes the handle itself and stops.
    bool attach(void* handle) noexcept;
    // Check thread, when the transfer is over: true when the caller still owns
    // the handles and must close them (abort() has not closed them).
    bool detach() noexcept;

private:
    // The platform's way to close an attached handle from another thread.
    static void closeHandle(void* handle) noexcept;

    std::mutex mutex_;
    void* handles_[3] = {};
    int attached_ = 0;
    bool closedByAbort_ = false;
    std::atomic<bool> aborted_{false};
};

class VersionFetcher {
public:
    // Bounds the connection and, separately, any silence while waiting for data.
    static constexpr unsigned timeoutMs = 10000;

    // The version the server's version file gives for key, or 0 when none was
    // obtained (no connection, time-out, HTTP error, no such record, no HTTP
    // client on this system). Check thread only: blocks for up to the
    // time-outs, or until `abort` is triggered.
    static std::int32_t fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                     TransferAbort& abort);

    // Linux: the libcurl builds tried, in order, when the first check starts
    // (the module links no HTTP library, so it loads on systems without one).
    // Tests name libraries that do not exist to see a check without one.
    static void setClientLibrariesForTest(const char* const* names) noexcept;
};

}  // namespace valvora
