#pragma once
// Thread counts for leak checks. Sanitizer runtimes add a helper thread of
// their own when the process first starts one, so one short-lived thread runs
// before the baseline is taken. And the system's count lags behind a join: a
// joined thread can stay listed for a moment while the kernel finishes its
// exit. So the baseline is read once it has stopped changing, and later
// counts are read until they reach the expected value; a thread that really
// stays still fails the check, after two seconds.

#include <chrono>
#include <thread>

#include "platform/Threading.h"

namespace valvora::testing {

inline int settledThreadCount()
{
    platform::Thread warmUp;
    warmUp.start([](void*) {}, nullptr);
    warmUp.join();
    int count = platform::processThreadCount(), unchanged = 0;
    for (int i = 0; i < 400 && unchanged < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const int now = platform::processThreadCount();
        unchanged = now == count ? unchanged + 1 : 0;
        count = now;
    }
    return count;
}

inline int threadCountReaching(int expected)
{
    int count = platform::processThreadCount();
    for (int i = 0; i < 400 && count != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        count = platform::processThreadCount();
    }
    return count;
}

}  // namespace valvora::testing
