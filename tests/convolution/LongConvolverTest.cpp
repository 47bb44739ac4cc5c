#include "convolution/LongConvolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "platform/Threading.h"
#include "tests/convolution/ConvolverPair.h"
#include "tests/convolution/DirectConvolution.h"
#include "tests/convolution/ThreadBaseline.h"

namespace valvora {
namespace {

using testing::directConvolution;
using testing::uniformNoise;

constexpr int length = LongConvolver::length;

std::vector<float> run(LongConvolver& c, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    for (std::size_t t = 0; t < x.size(); ++t) y[t] = c.process(x[t]);
    return y;
}

// The convolver's output for input t is the response's sum for time t + 1.
void expectMatchesDirect(const std::vector<float>& y, const std::vector<float>& x,
                         const std::vector<float>& h, double tolerance)
{
    const auto reference = directConvolution(x, h, LongConvolver::firstTap);
    for (std::size_t t = 0; t + 1 < x.size(); ++t) ASSERT_NEAR(y[t], reference[t + 1], tolerance) << t;
}

TEST(LongConvolver, ignoresTheFirst256TapsEntirely)
{
    LongConvolver c;
    std::vector<float> h(length, 0.0f);
    for (int k = 0; k < LongConvolver::firstTap; ++k) h[k] = 1.0f;
    c.load(h.data());
    const auto y = run(c, uniformNoise(20000, 1));
    for (std::size_t t = 0; t < y.size(); ++t) ASSERT_EQ(y[t], 0.0f) << t;
}

TEST(LongConvolver, anImpulseAtTap256DelaysTheInputBy255)
{
    LongConvolver c;
    std::vector<float> h(length, 0.0f);
    h[256] = 1.0f;
    c.load(h.data());
    const auto x = uniformNoise(40000, 2);
    const auto y = run(c, x);
    for (std::size_t t = 0; t < y.size(); ++t) {
        const float expected = t >= 255 ? x[t - 255] : 0.0f;
        ASSERT_NEAR(y[t], expected, 2e-6f) << t;
    }
}

TEST(LongConvolver, everyLevelsSegmentsLandOnTheirOwnSamples)
{
    // One impulse per level and slot, at both ends of each segment.
    std::vector<int> taps;
    for (int b = 128; b <= 8192; b *= 2)
        for (int k : {2 * b, 3 * b - 1, 3 * b, 4 * b - 1}) taps.push_back(k);
    LongConvolver c;
    for (int k : taps) {
        std::vector<float> h(length, 0.0f);
        h[k] = 1.0f;
        c.load(h.data());
        std::vector<float> x(k + 300, 0.0f);
        x[37] = 1.0f;
        const auto y = run(c, x);
        for (std::size_t t = 0; t < y.size(); ++t) {
            const float expected = static_cast<int>(t) == 37 + k - 1 ? 1.0f : 0.0f;
            ASSERT_NEAR(y[t], expected, 1e-6f) << "tap " << k << " sample " << t;
        }
    }
}

TEST(LongConvolver, matchesDirectConvolutionOfSparseRandomResponsesAcrossTheCounterWrap)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> where(0, length - 1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> h(length, 0.0f);
    for (int i = 0; i < 1500; ++i) h[where(rng)] = value(rng);
    LongConvolver c;
    c.load(h.data());
    const auto x = uniformNoise(3 * length + 5000, 4);  // about 2.4 s at 44.1 kHz, three wraps
    expectMatchesDirect(run(c, x), x, h, 2e-4);
}

TEST(LongConvolver, matchesDirectConvolutionOfADenseDecayingRandomResponse)
{
    auto h = uniformNoise(length, 5);
    for (int k = 0; k < length; ++k) h[k] *= static_cast<float>(std::exp(-k / 6000.0));
    LongConvolver c;
    c.load(h.data());
    const auto x = uniformNoise(length + 4000, 6);
    expectMatchesDirect(run(c, x), x, h, 2e-3);
}

TEST(LongConvolver, theFirstBlocksAfterLoadCollectZerosWithoutWaiting)
{
    LongConvolver c;
    auto h = uniformNoise(length, 7);
    c.load(h.data());
    // Every level fires for the first time in here; none has been dispatched before.
    for (int t = 0; t < 8192 + 10; ++t) {
        const float y = c.process(0.0f);
        ASSERT_EQ(y, 0.0f) << t;
    }
}

TEST(LongConvolver, reloadingWhileRunningStartsAgainFromSilence)
{
    LongConvolver c;
    auto first = uniformNoise(length, 8);
    c.load(first.data());
    run(c, uniformNoise(20000, 9));  // pending results in every level
    std::vector<float> second(length, 0.0f);
    second[300] = 0.5f;
    second[20000] = -0.25f;
    c.load(second.data());
    std::vector<float> x(length, 0.0f);
    x[0] = 1.0f;
    const auto y = run(c, x);
    for (std::size_t t = 0; t < y.size(); ++t) {
        const float expected = t == 299 ? 0.5f : t == 19999 ? -0.25f : 0.0f;
        ASSERT_NEAR(y[t], expected, 1e-6f) << t;
    }
}

TEST(LongConvolver, runsSevenWorkersFromLoadUntilDestructionAndLeavesNone)
{
    const int before = testing::settledThreadCount();
    {
        LongConvolver c;
        EXPECT_EQ(c.runningWorkers(), 0);
        std::vector<float> h(length, 0.001f);
        c.load(h.data());
        EXPECT_EQ(c.runningWorkers(), LongConvolver::levelCount);
        EXPECT_EQ(testing::threadCountReaching(before + LongConvolver::levelCount),
                  before + LongConvolver::levelCount);
        c.load(h.data());
        EXPECT_EQ(testing::threadCountReaching(before + LongConvolver::levelCount),
                  before + LongConvolver::levelCount);
        // The largest level is handed its first block at sample 4032: destroyed with it in flight.
        run(c, uniformNoise(4032 + 3, 10));
    }
    EXPECT_EQ(testing::threadCountReaching(before), before);
}

// Two channels whose blocks one set of threads takes (serveAlso) give exactly
// what two convolvers on their own give, however they are fed: both in every
// frame, or only one of them (the other side's wake-ups never come), across
// the counter wrap, a reload and either one's destruction.
struct LongPair {
    std::vector<float> left = uniformNoise(length, 51, 0.01f);
    std::vector<float> right = uniformNoise(length, 52, 0.01f);
    std::unique_ptr<LongConvolver> first = std::make_unique<LongConvolver>();
    std::unique_ptr<LongConvolver> second = std::make_unique<LongConvolver>();
    LongConvolver aloneFirst, aloneSecond;

    LongPair()
    {
        first->load(left.data());
        second->serveAlso(*first);
        second->load(right.data());
        aloneFirst.load(left.data());
        aloneSecond.load(right.data());
    }

    void frames(int n, unsigned seed, bool feedFirst, bool feedSecond)
    {
        testing::feedPairAndCompare(first.get(), second.get(), aloneFirst, aloneSecond, n, seed, feedFirst,
                                    feedSecond);
    }
};

TEST(LongConvolverPair, bothChannelsFedEqualTwoConvolversOnTheirOwnBitForBitAcrossTheWrap)
{
    LongPair pair;
    pair.frames(length + 9000, 53, true, true);
}

TEST(LongConvolverPair, eitherChannelFedAloneStillDeliversEveryBlock)
{
    LongPair pair;
    pair.frames(17000, 54, true, false);
    pair.frames(17000, 55, false, true);
    pair.frames(9000, 56, true, true);
}

TEST(LongConvolverPair, aReloadAndEitherDestructionKeepBothExact)
{
    LongPair pair;
    pair.frames(9000, 57, true, true);
    pair.first->load(pair.right.data());
    pair.aloneFirst.load(pair.right.data());
    pair.frames(9000, 58, true, true);
    pair.second->load(pair.left.data());
    pair.aloneSecond.load(pair.left.data());
    pair.frames(9000, 59, true, true);
    // The served one goes first: the serving threads must let go of it.
    pair.first.reset();
    pair.frames(9000, 60, false, true);

    LongPair other;
    other.frames(9000, 61, true, true);
    other.second.reset();
    other.frames(9000, 62, true, false);
}

}  // namespace
}  // namespace valvora
