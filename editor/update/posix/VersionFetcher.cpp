#include "editor/update/VersionFetcher.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>

#include "editor/update/VersionRecords.h"

namespace valvora {
namespace {
// A version file is a handful of records; anything past this is not one,
// and keeping it would only let a server fill our memory.
constexpr std::size_t maxBodyBytes = 64 * 1024;

struct Transfer {
    std::string body;
    const std::atomic<bool>* cancelled = nullptr;
};

size_t keepBody(char* data, size_t size, size_t count, void* raw)
{
    auto* transfer = static_cast<Transfer*>(raw);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > maxBodyBytes) return 0;
    transfer->body.append(data, bytes);
    return bytes;
}

// libcurl calls this about once a second even while nothing arrives.
int keepGoing(void* raw, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(raw)->cancelled->load(std::memory_order_acquire) ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
}  // namespace

std::int32_t VersionFetcher::fetchVersion(const UpdateServer& server, const char* agent, std::int32_t key,
                                          const std::atomic<bool>& cancelled)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return 0;
    // Always from the server, like a reload that bypasses every cache.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    std::unique_ptr<curl_slist, ListDeleter> headerList(headers);
    if (!headers || !curl_slist_append(headers, "Pragma: no-cache")) return 0;

    Transfer transfer;
    transfer.cancelled = &cancelled;
    const std::string url = server.url(UpdateServer::versionPath);
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    // Plain HTTP only, redirects included; no cookie engine is ever started.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    // Signals are the host's business, and we are not its main thread.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    // A server that connects and then falls silent fails like one that never
    // answers; the overall cap stops one that trickles forever.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeoutMs / 1000));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(3 * timeoutMs));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, keepBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, keepGoing);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode result = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    // An oversized file ends where we stopped taking it; any other error,
    // an HTTP error status above all, is no version file at all.
    const bool complete = result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.body.size() > 0);
    if (!complete || status != 200 || cancelled.load(std::memory_order_acquire)) return 0;
    return VersionRecords::findIn(reinterpret_cast<const unsigned char*>(transfer.body.data()),
                                  transfer.body.size(), key);
}

}  // namespace valvora
