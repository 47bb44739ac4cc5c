#pragma once
// What the update-check tests share: the captured message boxes and browser
// launches, and pointing the check at a loopback server.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "editor/update/UpdateChecker.h"
#include "editor/update/UpdateServer.h"

namespace valvora::testing {

struct ShownMessage {
    void* owner;
    std::string text;
    std::string caption;
    MessageStyle style;
};

// Stands in for the user: records what the check shows and opens, answers
// with `reply`, and can keep a message "open" until released.
class UserStandIn {
public:
    MessageAnswer reply = MessageAnswer::No;

    void attach(UpdateChecker& checker)
    {
        checker.setShowMessage([this](void* owner, const std::string& text, const std::string& caption,
                                      MessageStyle style) {
            std::unique_lock<std::mutex> lock(mutex_);
            shown_.push_back({owner, text, caption, style});
            changed_.notify_all();
            changed_.wait(lock, [&] { return !holding_; });
            return style == MessageStyle::Question ? reply : MessageAnswer::Ok;
        });
        checker.setOpenUrl([this](const std::string& url) {
            std::lock_guard<std::mutex> lock(mutex_);
            opened_.push_back(url);
        });
    }

    void hold()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = true;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    bool waitForMessages(std::size_t count, std::chrono::seconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return shown_.size() >= count; });
    }
    std::vector<ShownMessage> shown()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }
    std::vector<std::string> opened()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return opened_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool holding_ = false;
    std::vector<ShownMessage> shown_;
    std::vector<std::string> opened_;
};

inline void pointChecksAt(const std::string& address)
{
#ifdef _WIN32
    _putenv_s(UpdateServer::overrideVariable, address.c_str());
    // Loopback never goes through a proxy, whatever the machine is set up with.
    _putenv_s("no_proxy", "127.0.0.1,localhost");
#else
    setenv(UpdateServer::overrideVariable, address.c_str(), 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
#endif
}

// Waits for the running check to end (the suite's time-out catches a hang).
inline bool waitUntilIdle(const UpdateChecker& checker, std::chrono::seconds limit = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (checker.checking()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline void* const fakeOwner = reinterpret_cast<void*>(0x5150);

}  // namespace valvora::testing
