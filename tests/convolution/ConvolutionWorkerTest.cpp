// Blocks handed to a worker's thread must each be computed exactly once,
// whichever of the owner's threads takes them: the thread of the level whose
// block falls due with them, or their own. A block computed twice would
// shift the worker's kept spectra (slot B's part comes from the window one
// block older) and a block never computed would leave the owner waiting.
#include "convolution/ConvolutionWorker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "platform/Threading.h"
#include "tests/convolution/DirectConvolution.h"

namespace valvora {
namespace {

using testing::uniformNoise;

constexpr int small = 128;
constexpr int large = 256;

// A small and a large level of one owner, the large level's thread serving
// the small one, beside the same two levels computed inline (no threads) as
// the reference.
struct TwoLevels {
    platform::Event quit{platform::Event::Reset::Manual};
    ConvolutionWorker smallLevel{small, quit};
    ConvolutionWorker largeLevel{large, quit};
    ConvolutionWorker* served[1] = {&smallLevel};
    platform::Event unusedQuit{platform::Event::Reset::Manual};
    ConvolutionWorker smallReference{small, unusedQuit};
    ConvolutionWorker largeReference{large, unusedQuit};
    std::vector<float> scratch = std::vector<float>(2 * large, 0.0f);
    // Inputs long enough for every window the rounds below hand over.
    std::vector<float> input = uniformNoise(8192, 11);

    TwoLevels()
    {
        const auto smallTaps = uniformNoise(2 * small, 12);
        const auto largeTaps = uniformNoise(2 * large, 13);
        smallLevel.load(smallTaps.data(), scratch.data());
        smallReference.load(smallTaps.data(), scratch.data());
        largeLevel.load(largeTaps.data(), scratch.data());
        largeReference.load(largeTaps.data(), scratch.data());
        largeLevel.serveAlso(served, 1);
        smallLevel.startThread();
        largeLevel.startThread();
    }
    ~TwoLevels()
    {
        quit.set();
        smallLevel.joinThread();
        largeLevel.joinThread();
    }

    const float* window(int round, int block) const
    {
        return input.data() + (round * 37) % 4096 + block % 64;
    }

    // One round as the owner does it: collect both levels' last blocks,
    // compare them with the reference bit for bit, then hand both levels a
    // block (in the given way).
    template <typename HandOver>
    void round(int r, HandOver handOver)
    {
        smallLevel.waitDone();
        largeLevel.waitDone();
        smallReference.waitDone();
        largeReference.waitDone();
        for (int j = 0; j < small; ++j)
            ASSERT_EQ(smallLevel.result()[j], smallReference.result()[j]) << r << " " << j;
        for (int j = 0; j < large; ++j)
            ASSERT_EQ(largeLevel.result()[j], largeReference.result()[j]) << r << " " << j;
        const float* smallWindow = window(r, 0);
        const float* largeWindow = window(r, 1);
        handOver(smallWindow, largeWindow);
        smallReference.dispatch(smallWindow);
        largeReference.dispatch(largeWindow);
    }
};

TEST(ConvolutionWorker, aBlockHandedOverWithoutWakingItsThreadIsComputedByTheThreadServingIt)
{
    TwoLevels levels;
    for (int r = 0; r < 300; ++r) {
        levels.round(r, [&](const float* smallWindow, const float* largeWindow) {
            levels.smallLevel.dispatchWithoutWaking(smallWindow);
            levels.largeLevel.dispatch(largeWindow);
        });
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(ConvolutionWorker, aBlockIsComputedOnceWhenItsOwnThreadAndTheServingThreadBothReachIt)
{
    TwoLevels levels;
    std::mt19937 rng(14);
    for (int r = 0; r < 2000; ++r) {
        levels.round(r, [&](const float* smallWindow, const float* largeWindow) {
            // Both threads woken, in either order, sometimes with the first
            // one well under way before the second.
            const bool smallFirst = rng() & 1;
            auto& first = smallFirst ? levels.smallLevel : levels.largeLevel;
            auto& second = smallFirst ? levels.largeLevel : levels.smallLevel;
            first.dispatch(smallFirst ? smallWindow : largeWindow);
            if (rng() % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 200));
            second.dispatch(smallFirst ? largeWindow : smallWindow);
        });
        if (::testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace valvora
