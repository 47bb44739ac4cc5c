// The LV2 plug-in's run() must never allocate, also in the blocks that apply
// control changes (a new preamp period, the triode model, the other cabinet).
// Global operator new is replaced here; the loaded plug-in's allocations bind
// to it, so the count covers the binary under test.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/lv2/Lv2TestHost.h"

namespace {
thread_local bool countingThisThread = false;
std::atomic<long> allocationsWhileRunning{0};
}  // namespace

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (countingThisThread) allocationsWhileRunning.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (countingThisThread) allocationsWhileRunning.fetch_add(1);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using valvora::test::Lv2Instance;
using valvora::test::Lv2World;

TEST(Lv2RealTimeSafety, runAllocatesNothingWhileEveryControlMoves)
{
    Lv2World world(VALVORA_LV2_BUNDLE, VALVORA_LV2_URI);
    Lv2Instance instance(world, 48000.0);
    ASSERT_TRUE(instance.ok());
    constexpr int frames = 256;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int i = 0; i < frames; ++i) inL[i] = inR[i] = 0.3f * std::sin(0.05f * i);
    instance.activate();
    // The host's side of a block (lilv's calls) allocates nothing either, so
    // the whole render is counted.
    auto block = [&] {
        countingThisThread = true;
        instance.render(inL.data(), inR.data(), outL.data(), outR.data(), frames, frames);
        countingThisThread = false;
    };
    block();  // the first block applies the rate and every control
    EXPECT_EQ(allocationsWhileRunning.load(), 0);
    allocationsWhileRunning = 0;
    for (int round = 0; round < 3; ++round) {
        for (int parameter = 0; parameter < 14; ++parameter) {
            instance.setControl(parameter, round == 1 ? 1.0f : 0.25f * static_cast<float>(parameter % 4));
            block();
        }
    }
    EXPECT_EQ(allocationsWhileRunning.load(), 0);
    EXPECT_TRUE(std::isfinite(outL.back()) && std::isfinite(outR.back()));
}

}  // namespace
