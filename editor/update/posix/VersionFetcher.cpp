#include "editor/update/VersionFetcher.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>

#include "editor/update/VersionRecords.h"

namespace valvora {
namespace {
// A version file is a handful of records; anything past this is not one,
// and keeping it would only let a server fill our memory.
constexpr std::size_t maxBodyBytes = 64 * 1024;
// How often a waiting transfer looks whether it was aborted.
constexpr int abortPollMs = 20;

// The system's libcurl, loaded when the first check starts: the module links
// no HTTP library, so it loads on desktops without one, where the check then
// says that it could not find out.
constexpr const char* const defaultLibraries[] = {"libcurl.so.4", "libcurl-gnutls.so.4", nullptr};
const char* const* libraries = defaultLibraries;

struct Curl {
    CURLcode (*globalInit)(long) = nullptr;
    CURL* (*easyInit)() = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
    void (*slistFreeAll)(curl_slist*) = nullptr;
    CURLM* (*multiInit)() = nullptr;
    CURLMcode (*multiAddHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiRemoveHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiPerform)(CURLM*, int*) = nullptr;
    CURLMcode (*multiPoll)(CURLM*, curl_waitfd*, unsigned, int, int*) = nullptr;
    CURLMsg* (*multiInfoRead)(CURLM*, int*) = nullptr;
    CURLMcode (*multiCleanup)(CURLM*) = nullptr;
    bool ready = false;
};

template <class F>
bool resolve(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

// Loaded once and kept for the life of the process: libcurl's global state
// must not be initialised twice, nor torn down under another user of it.
const Curl& curl()
{
    static Curl api;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        void* library = nullptr;
        for (const char* const* name = libraries; *name && !library; ++name)
            library = dlopen(*name, RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        Curl c;
        const bool all = resolve(library, "curl_global_init", c.globalInit) &&
                         resolve(library, "curl_easy_init", c.easyInit) &&
                         resolve(library, "curl_easy_setopt", c.easySetopt) &&
                         resolve(library, "curl_easy_getinfo", c.easyGetinfo) &&
                         resolve(library, "curl_easy_cleanup", c.easyCleanup) &&
                         resolve(library, "curl_slist_append", c.slistAppend) &&
                         resolve(library, "curl_slist_free_all", c.slistFreeAll) &&
                         resolve(library, "curl_multi_init", c.multiInit) &&
                         resolve(library, "curl_multi_add_handle", c.multiAddHandle) &&
                         resolve(library, "curl_multi_remove_handle", c.multiRemoveHandle) &&
                         resolve(library, "curl_multi_perform", c.multiPerform) &&
                         resolve(library, "curl_multi_poll", c.multiPoll) &&
                         resolve(library, "curl_multi_info_read", c.multiInfoRead) &&
                         resolve(library, "curl_multi_cleanup", c.multiCleanup);
        if (!all || c.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;
        c.ready = true;
        api = c;
    });
    return api;
}

struct Transfer {
    std::string body;
};

size_t keepBody(char* data, size_t size, size_t count, void* raw)
{
    auto* transfer = static_cast<Transfer*>(raw);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > maxBodyBytes) return 0;
    transfer->body.append(data, bytes);
    return bytes;
}

struct Handles {
    const Curl& api;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
    ~Handles()
    {
        if (added) api.multiRemoveHandle(multi, easy);
        if (multi) api.multiCleanup(multi);
        if (easy) api.easyCleanup(easy);
        if (headers) api.slistFreeAll(headers);
    }
};
}  // namespace

// Nothing to close: the transfer below looks at the abort flag itself, a
// few times every tenth of a second, whatever the server does.
void TransferAbort::closeHandle(void*) noexcept {}

void VersionFetcher::setClientLibrariesForTest(const char* const* names) noexcept
{
    libraries = names ? names : defaultLibraries;
}

std::int32_t VersionFetcher::fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                          TransferAbort& abort)
{
    const Curl& api = curl();
    if (!api.ready || abort.aborted()) return 0;
    Handles h{api};
    h.easy = api.easyInit();
    h.multi = api.multiInit();
    if (!h.easy || !h.multi) return 0;
    // Always from the server, like a reload that bypasses every cache.
    h.headers = api.slistAppend(nullptr, "Cache-Control: no-cache");
    if (!h.headers || !api.slistAppend(h.headers, "Pragma: no-cache")) return 0;

    Transfer transfer;
    const std::string url = server.url(UpdateServer::versionPath);
    CURL* e = h.easy;
    api.easySetopt(e, CURLOPT_URL, url.c_str());
    api.easySetopt(e, CURLOPT_USERAGENT, agent);
    api.easySetopt(e, CURLOPT_HTTPHEADER, h.headers);
    // Plain HTTP only, redirects included; no cookie engine is ever started.
    // (The text form of the option is newer than some systems' libcurl.)
    if (api.easySetopt(e, CURLOPT_PROTOCOLS_STR, "http") != CURLE_OK) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        api.easySetopt(e, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP));
        api.easySetopt(e, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP));
#pragma GCC diagnostic pop
    } else {
        api.easySetopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    }
    api.easySetopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    api.easySetopt(e, CURLOPT_MAXREDIRS, 5L);
    api.easySetopt(e, CURLOPT_FAILONERROR, 1L);
    // Signals are the host's business, and we are not its main thread.
    api.easySetopt(e, CURLOPT_NOSIGNAL, 1L);
    api.easySetopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    // A server that connects and then falls silent fails like one that never
    // answers; the overall cap stops one that trickles forever.
    api.easySetopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api.easySetopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeoutMs / 1000));
    api.easySetopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(3 * timeoutMs));
    api.easySetopt(e, CURLOPT_WRITEFUNCTION, keepBody);
    api.easySetopt(e, CURLOPT_WRITEDATA, &transfer);

    if (api.multiAddHandle(h.multi, e) != CURLM_OK) return 0;
    h.added = true;
    // The transfer in short waits, so that an abort from the window thread
    // ends it within a few hundredths of a second even on a silent server.
    CURLcode result = CURLE_AGAIN;
    for (int running = 1; running > 0;) {
        if (api.multiPerform(h.multi, &running) != CURLM_OK) return 0;
        if (abort.aborted()) return 0;
        if (running > 0 && api.multiPoll(h.multi, nullptr, 0, abortPollMs, nullptr) != CURLM_OK) return 0;
    }
    int left = 0;
    while (CURLMsg* message = api.multiInfoRead(h.multi, &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == e) result = message->data.result;
    long status = 0;
    api.easyGetinfo(e, CURLINFO_RESPONSE_CODE, &status);
    // An oversized file ends where we stopped taking it; any other error,
    // an HTTP error status above all, is no version file at all.
    const bool complete = result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.body.size() > 0);
    if (!complete || status != 200 || abort.aborted()) return 0;
    return VersionRecords::findIn(reinterpret_cast<const unsigned char*>(transfer.body.data()),
                                  transfer.body.size(), key);
}

}  // namespace valvora
