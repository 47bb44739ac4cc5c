// The tone stack inside the 8x preamp steps eight samples at once and both
// channels in one pass. Those forms must give what eight single steps give:
// the same to rounding for the block, bit for bit between the paired and the
// one-channel forms, with no drift over a long run and the same limits on
// absurd inputs.
#include "engine/tone/ToneStack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace valvora {
namespace {

constexpr int L = ToneStack::blockLength;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Setting {
    int variant;
    double bass, middle, treble, rate;
};

const Setting settings[] = {
    {0, 0.5, 0.5, 0.5, 8 * 44100.0}, {1, 0.5, 0.5, 0.5, 8 * 48000.0}, {0, 1.0, 0.0, 1.0, 8 * 96000.0},
    {1, 0.0, 0.99, 0.0, 8 * 44100.0}, {0, 0.1, 0.9, 0.3, 8 * 11025.0}, {1, 0.8, 0.2, 0.7, 8 * 192000.0},
};

void setBoth(ToneStack& a, ToneStack& b, const Setting& s)
{
    a.setControls(s.bass, s.middle, s.treble, 1.0 / s.rate);
    b.setControls(s.bass, s.middle, s.treble, 1.0 / s.rate);
}

TEST(ToneStackBlock, EightSamplesAtOnceMatchEightSingleSteps)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> level(-1.0, 1.0);
    for (const Setting& s : settings) {
        ToneStack byBlock(s.variant), bySample(s.variant);
        setBoth(byBlock, bySample, s);
        double worst = 0.0, peak = 0.0;
        // Long enough for any drift between the two recurrences to show.
        for (int block = 0; block < 20000; ++block) {
            double samples[L], expected[L];
            for (int k = 0; k < L; ++k) samples[k] = expected[k] = level(random) * (block % 2000 < 1000 ? 1.0 : 1e-6);
            for (double& x : expected) bySample.process(x, 0);
            byBlock.processBlock(samples, 0);
            for (int k = 0; k < L; ++k) {
                worst = std::max(worst, std::abs(samples[k] - expected[k]));
                peak = std::max(peak, std::abs(expected[k]));
            }
        }
        EXPECT_GT(peak, 0.1);
        EXPECT_LT(worst, 1e-12 * peak) << "variant " << s.variant << " at " << s.rate;
        const double stateGap = (byBlock.discrete().state[0] - bySample.discrete().state[0]).norm();
        EXPECT_LT(stateGap, 1e-12 * (1.0 + bySample.discrete().state[0].norm()));
    }
}

TEST(ToneStackBlock, BothChannelsAtOnceEqualEachChannelAloneBitForBit)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> level(-2.0, 2.0);
    for (const Setting& s : settings) {
        ToneStack paired(s.variant), single(s.variant);
        setBoth(paired, single, s);
        for (int block = 0; block < 2000; ++block) {
            double left[L], right[L], left1[L], right1[L];
            for (int k = 0; k < L; ++k) {
                left[k] = left1[k] = level(random);
                right[k] = right1[k] = block % 3 ? level(random) : 0.0;
            }
            paired.processBlockPair(left, right);
            single.processBlock(left1, 0);
            single.processBlock(right1, 1);
            for (int k = 0; k < L; ++k) {
                ASSERT_TRUE(sameBits(left[k], left1[k])) << block;
                ASSERT_TRUE(sameBits(right[k], right1[k])) << block;
            }
            // And one sample at a time, paired against single.
            double l = level(random), r = level(random), l1 = l, r1 = r;
            paired.processPair(l, r);
            single.process(l1, 0);
            single.process(r1, 1);
            ASSERT_TRUE(sameBits(l, l1) && sameBits(r, r1)) << block;
        }
    }
}

TEST(ToneStackBlock, AbsurdInputsAreLimitedAsInSingleStepsAndLeaveFiniteStates)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double hostile[L] = {inf, -inf, std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, 4.9e-324, 1e30, 0.0};
    ToneStack byBlock(0), bySample(0);
    byBlock.setControls(0.5, 0.5, 0.5, 1.0 / (8 * 48000.0));
    bySample.setControls(0.5, 0.5, 0.5, 1.0 / (8 * 48000.0));
    double left[L], right[L], expected[L];
    for (int k = 0; k < L; ++k) left[k] = right[k] = expected[k] = hostile[k];
    for (double& x : expected) bySample.process(x, 0);
    byBlock.processBlockPair(left, right);
    for (int k = 0; k < L; ++k) {
        ASSERT_TRUE(std::isfinite(left[k])) << k;
        EXPECT_NEAR(left[k], expected[k], 1e-12 * 1e30 * 100) << k;
        EXPECT_TRUE(sameBits(left[k], right[k])) << k;
    }
    EXPECT_TRUE(byBlock.discrete().state[0].allFinite());
    EXPECT_TRUE(byBlock.discrete().state[1].allFinite());
}

TEST(ToneStackBlock, FollowsNewControlsAtTheNextBlock)
{
    // The block form is derived in every update: after a control change the
    // block output must follow the new coefficients, not the old ones.
    ToneStack byBlock(1), bySample(1);
    const double period = 1.0 / (8 * 44100.0);
    byBlock.setControls(0.5, 0.5, 0.5, period);
    bySample.setControls(0.5, 0.5, 0.5, period);
    double worst = 0.0;
    for (int block = 0; block < 400; ++block) {
        if (block == 200) {
            byBlock.setControls(1.0, 0.0, 0.2, period);
            bySample.setControls(1.0, 0.0, 0.2, period);
        }
        double samples[L], expected[L];
        for (int k = 0; k < L; ++k) samples[k] = expected[k] = std::sin(0.01 * (8 * block + k));
        for (double& x : expected) bySample.process(x, 0);
        byBlock.processBlock(samples, 0);
        for (int k = 0; k < L; ++k) worst = std::max(worst, std::abs(samples[k] - expected[k]));
    }
    EXPECT_LT(worst, 1e-12);
}

}  // namespace
}  // namespace valvora
