#pragma once
// A tiny HTTP server on 127.0.0.1 for the update-check tests: it answers every
// request with one fixed response, or accepts and then never says a word.
// BSD sockets on Linux, Winsock in the Windows build; loopback only.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
constexpr SocketHandle noSocket = INVALID_SOCKET;
inline void closeSocket(SocketHandle s) { closesocket(s); }
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
constexpr SocketHandle noSocket = -1;
inline void closeSocket(SocketHandle s) { close(s); }
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace valvora::testing {

class LoopbackHttpServer {
public:
    enum class Mode { Respond, Silent };

    // Respond: every request gets `status` with `body`. Silent: connections
    // are accepted, read and held open without an answer until destruction.
    LoopbackHttpServer(Mode mode, int status = 200, std::string body = {})
        : mode_(mode), status_(status), body_(std::move(body))
    {
        startSockets();
        listener_ = bindLoopback(&port_);
        if (listener_ != noSocket) {
            listen(listener_, 8);
            thread_ = std::thread([this] { serve(); });
        }
    }

    ~LoopbackHttpServer()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ != noSocket) closeSocket(listener_);
    }

    // "127.0.0.1:port", the form the update check's test variable takes.
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    bool listening() const { return listener_ != noSocket; }
    int connections() const { return connections_.load(); }

    // The head of the last request, once it has arrived completely.
    std::string lastRequest() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastRequest_;
    }

    // Waits (up to `limit`) until at least `count` connections came in.
    bool waitForConnections(int count, std::chrono::milliseconds limit) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return connections_.load() >= count; });
    }

    // Waits (up to `limit`) until every client that connected has hung up.
    bool waitForClientsGone(std::chrono::milliseconds limit) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return openClients_ == 0; });
    }

    // A port on which nothing listens: bound once, then released.
    static std::string refusingAddress()
    {
        startSockets();
        unsigned short port = 0;
        const SocketHandle s = bindLoopback(&port);
        if (s != noSocket) closeSocket(s);
        return "127.0.0.1:" + std::to_string(port);
    }

private:
    static void startSockets()
    {
#ifdef _WIN32
        static const bool started = [] {
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        (void)started;
#endif
    }

    static SocketHandle bindLoopback(unsigned short* port)
    {
        const SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == noSocket) return noSocket;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            closeSocket(s);
            return noSocket;
        }
        *port = ntohs(address.sin_port);
        return s;
    }

    static bool readable(SocketHandle s, int milliseconds)
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{0, milliseconds * 1000};
        return select(static_cast<int>(s + 1), &set, nullptr, nullptr, &wait) > 0;
    }

    struct Client {
        SocketHandle socket;
        std::string received;
        bool answered = false;
    };

    void serve()
    {
        std::vector<Client> clients;
        while (!stop_) {
            if (readable(listener_, 10)) {
                const SocketHandle s = accept(listener_, nullptr, nullptr);
                if (s != noSocket) {
                    clients.push_back({s, {}});
                    std::lock_guard<std::mutex> lock(mutex_);
                    ++connections_;
                    ++openClients_;
                    changed_.notify_all();
                }
            }
            for (auto it = clients.begin(); it != clients.end();) {
                if (!readable(it->socket, 0)) {
                    ++it;
                    continue;
                }
                char buffer[1024];
                const auto got = recv(it->socket, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    // The client hung up (or gave up waiting).
                    closeSocket(it->socket);
                    it = clients.erase(it);
                    std::lock_guard<std::mutex> lock(mutex_);
                    --openClients_;
                    changed_.notify_all();
                    continue;
                }
                it->received.append(buffer, static_cast<std::size_t>(got));
                if (!it->answered && it->received.find("\r\n\r\n") != std::string::npos) {
                    it->answered = true;
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        lastRequest_ = it->received;
                    }
                    if (mode_ == Mode::Respond) answer(it->socket);
                }
                ++it;
            }
        }
        for (const Client& client : clients) closeSocket(client.socket);
    }

    void answer(SocketHandle s) const
    {
        const std::string response = "HTTP/1.1 " + std::to_string(status_) + (status_ == 200 ? " OK" : " Error") +
                                     "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                     std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
        send(s, response.data(), static_cast<int>(response.size()), 0);
        // Half-close: the client sees the end of the data, then hangs up itself.
#ifdef _WIN32
        shutdown(s, SD_SEND);
#else
        shutdown(s, SHUT_WR);
#endif
    }

    const Mode mode_;
    const int status_;
    const std::string body_;
    SocketHandle listener_ = noSocket;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    int openClients_ = 0;
    std::string lastRequest_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace valvora::testing
