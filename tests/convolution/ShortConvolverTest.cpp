#include "convolution/ShortConvolver.h"

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

std::vector<float> run(ShortConvolver& c, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    for (std::size_t t = 0; t < x.size(); ++t) y[t] = c.process(x[t]);
    return y;
}

std::vector<float> impulseAt(int k)
{
    std::vector<float> h(ShortConvolver::length, 0.0f);
    h[k] = 1.0f;
    return h;
}

TEST(ShortConvolver, aUnitImpulseAtTapZeroPassesTheInputUnchangedFromTheFirstCall)
{
    ShortConvolver c;
    c.load(impulseAt(0).data());
    const auto x = uniformNoise(5000, 1);
    const auto y = run(c, x);
    for (std::size_t t = 0; t < x.size(); ++t) ASSERT_EQ(y[t], x[t]) << t;
}

TEST(ShortConvolver, anImpulseAtEveryDirectTapDelaysByExactlyThatTapWithoutRounding)
{
    // The direct taps read four interleaved histories; every tap, at every
    // phase of the write position, must pick exactly its own sample, with
    // the eight-float arithmetic where the processor has it and without.
    for (bool allowWide : {true, false}) {
        ShortConvolver c(allowWide);
        const auto x = uniformNoise(400, 12);
        for (int k = 1; k < ShortConvolver::directTaps; ++k) {
            c.load(impulseAt(k).data());
            for (std::size_t t = 0; t < x.size(); ++t) {
                const float expected = t >= static_cast<std::size_t>(k) ? x[t - k] : 0.0f;
                ASSERT_EQ(c.process(x[t]), expected)
                    << "tap " << k << " sample " << t << " wide " << allowWide;
            }
        }
    }
}

TEST(ShortConvolver, anImpulseAtEveryTapFrom64To1023DelaysByExactlyThatTap)
{
    ShortConvolver c;
    const auto x = uniformNoise(2600, 2);
    for (int k = 64; k < ShortConvolver::length; ++k) {
        c.load(impulseAt(k).data());
        // Long enough for every level, both asynchronous slots and several
        // 256-sample hand-offs to carry the sample.
        const std::size_t n = k + 1300;
        for (std::size_t t = 0; t < n; ++t) {
            const float y = c.process(x[t]);
            const float expected = t >= static_cast<std::size_t>(k) ? x[t - k] : 0.0f;
            ASSERT_NEAR(y, expected, 2e-6f) << "tap " << k << " sample " << t;
        }
    }
}

TEST(ShortConvolver, matchesDirectConvolutionOfRandomSignalsAndResponsesForSeconds)
{
    for (unsigned seed : {11u, 12u}) {
        // The second run keeps the baseline direct taps tested on processors
        // that would choose the eight-float ones.
        ShortConvolver c(seed == 11u);
        auto h = uniformNoise(ShortConvolver::length, seed, 0.5f);
        c.load(h.data());
        const auto x = uniformNoise(3 * 44100, seed + 100);
        const auto y = run(c, x);
        const auto reference = directConvolution(x, h);
        for (std::size_t t = 0; t < x.size(); ++t) ASSERT_NEAR(y[t], reference[t], 1e-4) << t;
    }
}

TEST(ShortConvolver, theFirstBlocksAfterLoadAreSilentForSilentInput)
{
    ShortConvolver c;
    auto h = uniformNoise(ShortConvolver::length, 3);
    c.load(h.data());
    for (int t = 0; t < 4 * ShortConvolver::asyncBlock; ++t) ASSERT_EQ(c.process(0.0f), 0.0f) << t;
}

TEST(ShortConvolver, reloadingWhileRunningStartsAgainFromSilence)
{
    ShortConvolver c;
    auto first = uniformNoise(ShortConvolver::length, 4);
    c.load(first.data());
    run(c, uniformNoise(1000, 5));  // leaves history in every level and the worker busy
    auto second = uniformNoise(ShortConvolver::length, 6);
    c.load(second.data());
    std::vector<float> impulse(3000, 0.0f);
    impulse[0] = 1.0f;
    const auto y = run(c, impulse);
    for (std::size_t t = 0; t < y.size(); ++t) {
        const float expected = t < second.size() ? second[t] : 0.0f;
        ASSERT_NEAR(y[t], expected, 2e-6f) << t;
    }
}

TEST(ShortConvolver, runsOneWorkerFromLoadToDestruction)
{
    const int before = testing::settledThreadCount();
    {
        ShortConvolver c;
        EXPECT_FALSE(c.workerRunning());
        EXPECT_EQ(testing::threadCountReaching(before), before);
        c.load(impulseAt(5).data());
        EXPECT_TRUE(c.workerRunning());
        EXPECT_EQ(testing::threadCountReaching(before + 1), before + 1);
        c.load(impulseAt(7).data());
        EXPECT_EQ(testing::threadCountReaching(before + 1), before + 1);
        run(c, uniformNoise(700, 7));  // destroyed with a block in flight
    }
    EXPECT_EQ(testing::threadCountReaching(before), before);
}

// A family change on the audio thread: selectBank() and reload() restart from
// silence with the other response exactly as a fresh load() does, bit for
// bit, at any position of the schedule (with a block in flight or not), and
// keep the one worker thread.
TEST(ShortConvolver, switchingBanksOrReloadingEqualsAFreshLoadBitForBit)
{
    const auto first = uniformNoise(ShortConvolver::length, 21);
    const auto second = uniformNoise(ShortConvolver::length, 22);
    const auto before = uniformNoise(3000, 23);
    const auto after = uniformNoise(2600, 24);
    ShortConvolver fresh;
    fresh.load(second.data());
    const auto expected = run(fresh, after);
    for (int lead : {0, 1, 63, 64, 200, 256, 257, 511, 700, 1023, 2900}) {
        ShortConvolver banked(true, 2);
        banked.loadBanks(first.data(), second.data());
        ShortConvolver reloaded;
        reloaded.load(first.data());
        const std::vector<float> head(before.begin(), before.begin() + lead);
        run(banked, head);
        run(reloaded, head);
        const int threads = platform::processThreadCount();
        banked.selectBank(1);
        reloaded.reload(second.data());
        EXPECT_EQ(platform::processThreadCount(), threads);
        EXPECT_EQ(banked.bank(), 1);
        const auto y = run(banked, after);
        const auto z = run(reloaded, after);
        for (std::size_t t = 0; t < after.size(); ++t) {
            ASSERT_EQ(y[t], expected[t]) << "selectBank after " << lead << ", sample " << t;
            ASSERT_EQ(z[t], expected[t]) << "reload after " << lead << ", sample " << t;
        }
        // And back: the first response, as freshly loaded.
        banked.selectBank(0);
        ShortConvolver freshFirst;
        freshFirst.load(first.data());
        const auto y0 = run(banked, before);
        const auto e0 = run(freshFirst, before);
        for (std::size_t t = 0; t < before.size(); ++t)
            ASSERT_EQ(y0[t], e0[t]) << "back, after " << lead << ", " << t;
    }
}

// Two channels whose blocks one thread takes (serveAlso) give exactly what
// two convolvers on their own give, however they are fed: both in every
// frame, or only one of them (the other thread's wake-up never comes), and
// across a bank switch, a reload and either one's destruction.
struct ShortPair {
    std::vector<float> left = uniformNoise(ShortConvolver::length, 31);
    std::vector<float> right = uniformNoise(ShortConvolver::length, 32);
    std::vector<float> left48 = uniformNoise(ShortConvolver::length, 33);
    std::vector<float> right48 = uniformNoise(ShortConvolver::length, 34);
    std::unique_ptr<ShortConvolver> first = std::make_unique<ShortConvolver>(true, 2);
    std::unique_ptr<ShortConvolver> second = std::make_unique<ShortConvolver>(true, 2);
    ShortConvolver aloneFirst{true, 2}, aloneSecond{true, 2};

    ShortPair()
    {
        second->serveAlso(*first);
        first->loadBanks(left.data(), left48.data());
        second->loadBanks(right.data(), right48.data());
        aloneFirst.loadBanks(left.data(), left48.data());
        aloneSecond.loadBanks(right.data(), right48.data());
    }

    void frames(int n, unsigned seed, bool feedFirst, bool feedSecond)
    {
        testing::feedPairAndCompare(first.get(), second.get(), aloneFirst, aloneSecond, n, seed, feedFirst,
                                    feedSecond);
    }
};

TEST(ShortConvolverPair, bothChannelsFedEqualTwoConvolversOnTheirOwnBitForBit)
{
    ShortPair pair;
    pair.frames(20000, 35, true, true);
}

TEST(ShortConvolverPair, eitherChannelFedAloneStillDeliversEveryBlock)
{
    ShortPair pair;
    pair.frames(5000, 36, true, false);
    pair.frames(5000, 37, false, true);
    pair.frames(3000, 38, true, true);
}

TEST(ShortConvolverPair, aBankSwitchAReloadAndEitherDestructionKeepBothExact)
{
    ShortPair pair;
    pair.frames(3000, 39, true, true);
    for (auto* c : {pair.first.get(), pair.second.get(), &pair.aloneFirst, &pair.aloneSecond})
        c->selectBank(1);
    pair.frames(3000, 40, true, true);
    pair.first->reload(pair.right.data());
    pair.aloneFirst.reload(pair.right.data());
    pair.frames(3000, 41, true, true);
    pair.first->load(pair.left.data());
    pair.aloneFirst.load(pair.left.data());
    pair.frames(3000, 42, true, true);
    // The served one goes first: the serving thread must let go of it.
    pair.first.reset();
    pair.frames(3000, 43, false, true);

    ShortPair other;
    other.frames(1000, 44, true, true);
    other.second.reset();
    other.frames(3000, 45, true, false);
}

}  // namespace
}  // namespace valvora
