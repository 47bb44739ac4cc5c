#pragma once
// The thread count a leak check starts from. Sanitizer runtimes add a helper
// thread of their own when the process first starts one, so one short-lived
// thread runs first and the count is taken after it.

#include "platform/Threading.h"

namespace valvora::testing {

inline int settledThreadCount()
{
    platform::Thread warmUp;
    warmUp.start([](void*) {}, nullptr);
    warmUp.join();
    return platform::processThreadCount();
}

}  // namespace valvora::testing
