#include "editor/update/VersionFetcher.h"

#include <windows.h>
#include <wininet.h>

#include "editor/update/VersionRecords.h"

namespace valvora {
namespace {
// Always from the server, never from or into the cache, no cookies, no dialogs.
constexpr DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                               INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(requestFlags == 0x84080300);

void setTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}
}  // namespace


namespace {
// The three handles of one request, attached to the abort as they are made:
// closing them from the window thread ends whatever the check thread is
// blocked in. Closed here only if the abort has not closed them.
class Handles {
public:
    explicit Handles(TransferAbort& abort) noexcept : abort_(abort) {}
    ~Handles()
    {
        if (!abort_.detach()) return;
        for (int i = count_ - 1; i >= 0; --i) InternetCloseHandle(handles_[i]);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    // False (and the handle closed) when there is none or the check was aborted.
    bool keep(HINTERNET handle) noexcept
    {
        if (!handle) return false;
        if (!abort_.attach(handle)) {
            InternetCloseHandle(handle);
            return false;
        }
        handles_[count_++] = handle;
        return true;
    }

private:
    TransferAbort& abort_;
    HINTERNET handles_[3] = {};
    int count_ = 0;
};

std::int32_t fetch(const UpdateServer& server, const char* agent, std::int32_t key, TransferAbort& abort)
{
    constexpr DWORD timeoutMs = VersionFetcher::timeoutMs;
    Handles handles(abort);
    HINTERNET root = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handles.keep(root)) return 0;
    setTimeout(root, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
    // Connection, request and response in separate steps rather than one
    // InternetOpenUrlA: only a request handle takes a receive time-out
    // everywhere, and only a request tells an HTTP error from a version file.
    HINTERNET session =
        InternetConnectA(root, server.host.c_str(), server.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!handles.keep(session)) return 0;
    HINTERNET request =
        HttpOpenRequestA(session, "GET", UpdateServer::versionPath, nullptr, nullptr, nullptr, requestFlags, 0);
    if (!handles.keep(request)) return 0;
    setTimeout(request, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
    setTimeout(request, INTERNET_OPTION_SEND_TIMEOUT, timeoutMs);
    setTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, timeoutMs);
    if (abort.aborted() || !HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return 0;

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status != HTTP_STATUS_OK)
        return 0;

    return VersionRecords::find(
        [&](unsigned char* into, std::size_t wanted) -> long {
            // A record split between two packets is still a record: only a
            // read that returns nothing is the end of the data.
            DWORD total = 0;
            while (total < wanted) {
                if (abort.aborted()) return -1;
                DWORD got = 0;
                if (!InternetReadFile(request, into + total, static_cast<DWORD>(wanted - total), &got)) return -1;
                if (got == 0) break;
                total += got;
            }
            return static_cast<long>(total);
        },
        key);
}
}  // namespace

// Closing a handle from another thread ends what the check thread is blocked
// in (connecting, sending, reading) on it.
void TransferAbort::closeHandle(void* handle) noexcept { InternetCloseHandle(static_cast<HINTERNET>(handle)); }

void VersionFetcher::setClientLibrariesForTest(const char* const*) noexcept {}

std::int32_t VersionFetcher::fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                          TransferAbort& abort)
{
    const std::int32_t version = fetch(server, agent, key, abort);
    return abort.aborted() ? 0 : version;
}

}  // namespace valvora
