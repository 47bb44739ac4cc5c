#pragma once
// Where the version check goes: Kelmo's web server over plain HTTP. Tests
// point it at a loopback server of their own through one environment
// variable, read each time a check starts; nothing else can redirect it.

#include <cstdint>
#include <optional>
#include <string>

namespace valvora {

class UpdateServer {
public:
    static constexpr const char* vendorHost = "www.kelmo.example";
    // "127.0.0.1:port" or "localhost:port"; any other value is ignored.
    static constexpr const char* overrideVariable = "VALVORA_UPDATE_SERVER";
    static constexpr const char* versionPath = "/versions.dat";
    static constexpr const char* downloadPath = "/?q=audio-fx";

    // The vendor's server unless the variable names a loopback server. Any thread.
    static UpdateServer current();
    // Parses "host:port" and accepts only loopback hosts.
    static std::optional<UpdateServer> loopback(const char* hostAndPort);

    // "http://host[:port]" followed by the path (and query).
    std::string url(const char* pathAndQuery) const;

    std::string host = vendorHost;
    std::uint16_t port = 80;
};

}  // namespace valvora
