#include "editor/update/UpdateServer.h"

#include <cstdlib>
#include <cstring>

namespace valvora {

UpdateServer UpdateServer::current()
{
    const char* value = std::getenv(overrideVariable);
    if (value) {
        if (auto server = loopback(value)) return *server;
    }
    return UpdateServer{};
}

std::optional<UpdateServer> UpdateServer::loopback(const char* hostAndPort)
{
    const char* colon = std::strrchr(hostAndPort, ':');
    if (!colon) return std::nullopt;
    const std::string host(hostAndPort, colon);
    // Only the local machine: the variable exists for tests, and must never
    // send users' requests (or their browser) anywhere else.
    if (host != "127.0.0.1" && host != "localhost") return std::nullopt;
    const char* digits = colon + 1;
    const std::size_t length = std::strlen(digits);
    if (length == 0 || length > 5) return std::nullopt;
    unsigned port = 0;
    for (const char* c = digits; *c; ++c) {
        if (*c < '0' || *c > '9') return std::nullopt;
        port = port * 10 + static_cast<unsigned>(*c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    UpdateServer server;
    server.host = host;
    server.port = static_cast<std::uint16_t>(port);
    return server;
}

std::string UpdateServer::url(const char* pathAndQuery) const
{
    // Appended piece by piece: GCC 12 at -O3 misreads chained operator+ here.
    std::string result("http://");
    result.append(host);
    if (port != 80) {
        result.push_back(':');
        result.append(std::to_string(port));
    }
    result.append(pathAndQuery);
    return result;
}

}  // namespace valvora
