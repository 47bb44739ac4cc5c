#include "editor/update/VersionFetcher.h"

#include <windows.h>
#include <wininet.h>

#include "editor/update/VersionRecords.h"

namespace valvora {
namespace {
// Always from the server, never from or into the cache, no cookies, no dialogs.
constexpr DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                               INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(requestFlags == 0x84080300);

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) noexcept : handle_(handle) {}
    ~InternetHandle()
    {
        if (handle_) InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    operator HINTERNET() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

void setTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}
}  // namespace

std::int32_t VersionFetcher::fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                          const std::atomic<bool>& cancelled)
{
    InternetHandle root(InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) return 0;
    setTimeout(root, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
    // Connection, request and response in separate steps rather than one
    // InternetOpenUrlA: only a request handle takes a receive time-out
    // everywhere, and only a request tells an HTTP error from a version file.
    InternetHandle session(InternetConnectA(root, server.host.c_str(), server.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0));
    if (!session) return 0;
    InternetHandle request(HttpOpenRequestA(session, "GET", UpdateServer::versionPath, nullptr, nullptr, nullptr,
                                            requestFlags, 0));
    if (!request) return 0;
    setTimeout(request, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
    setTimeout(request, INTERNET_OPTION_SEND_TIMEOUT, timeoutMs);
    setTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, timeoutMs);
    if (cancelled.load(std::memory_order_acquire) || !HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return 0;

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
                if (cancelled.load(std::memory_order_acquire)) return -1;
                DWORD got = 0;
                if (!InternetReadFile(request, into + total, static_cast<DWORD>(wanted - total), &got)) return -1;
                if (got == 0) break;
                total += got;
            }
            return static_cast<long>(total);
        },
        key);
}

}  // namespace valvora
