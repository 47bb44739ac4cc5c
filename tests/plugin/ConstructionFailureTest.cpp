// Running out of memory while the plug-in is built must fail cleanly: the
// constructor throws, everything built so far is released (no leak, no
// worker thread left behind), and the next attempt succeeds.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/Threading.h"
#include "plugin/AmpPlugin.h"

namespace {
std::atomic<long> allocationsLeft{-1};  // -1: unlimited
std::atomic<long> liveAllocations{0};

bool mayAllocate()
{
    long left = allocationsLeft.load();
    while (left >= 0) {
        if (left == 0) return false;
        if (allocationsLeft.compare_exchange_weak(left, left - 1)) return true;
    }
    return true;
}
}  // namespace

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (!mayAllocate()) throw std::bad_alloc();
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++liveAllocations;
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (!mayAllocate()) return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p) ++liveAllocations;
    return p;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept
{
    if (p) --liveAllocations;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(ConstructionFailure, EveryFailedAllocationUnwindsCompletely)
{
    // Warm up once so that lazily built module-wide tables exist before counting.
    delete new valvora::AmpPlugin(hostCallback);
    const long liveBefore = liveAllocations.load();
    const int threadsBefore = valvora::platform::processThreadCount();

    int failures = 0;
    for (long budget = 0;; ++budget) {
        allocationsLeft = budget;
        valvora::AmpPlugin* plugin = nullptr;
        try {
            plugin = new valvora::AmpPlugin(hostCallback);
        } catch (const std::bad_alloc&) {
            ++failures;
        }
        allocationsLeft = -1;
        if (plugin) {
            delete plugin;
            break;
        }
        ASSERT_EQ(liveAllocations.load(), liveBefore) << "leak after failing at allocation " << budget;
        ASSERT_EQ(valvora::platform::processThreadCount(), threadsBefore) << "thread left at " << budget;
        ASSERT_LT(budget, 100000) << "construction never succeeded";
    }
    EXPECT_GT(failures, 0);
    EXPECT_EQ(liveAllocations.load(), liveBefore);
}

}  // namespace
