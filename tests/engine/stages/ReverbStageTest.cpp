#include "engine/stages/ReverbStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "resources/ir/ImpulseResponses.h"

namespace valvora {
namespace {

constexpr double ditherBound = 4.3e-10;

// Wet output of channel c for an impulse of 1 followed by silence.
std::vector<double> wetImpulse(ReverbStage& r, int channel, int n)
{
    std::vector<double> wet(n);
    for (int t = 0; t < n; ++t) {
        double x = t == 0 ? 1.0 : 0.0;
        wet[t] = r.process(x, channel);
    }
    return wet;
}

TEST(ReverbStageRates, factorHalvesTheRateUntilItIsBelow40kHz)
{
    ReverbStage r;
    EXPECT_EQ(r.factor(), 2);
    const std::pair<double, int> cases[] = {{32000, 1},  {39999, 1},  {40000, 2},  {44100, 2}, {48000, 2},
                                            {79999, 2},  {80000, 4},  {88200, 4},  {96000, 4}, {160000, 8},
                                            {176400, 8}, {192000, 8}, {384000, 8}, {11025, 1}};
    for (auto [rate, factor] : cases) {
        r.setPeriod(1.0 / rate);
        EXPECT_EQ(r.factor(), factor) << rate;
    }
}

TEST(ReverbStageLevel, atLevelZeroTheOutputIsTheDitheredInputAndNothingIsAdded)
{
    ReverbStage r;
    for (int t = 0; t < 5000; ++t) {
        const double in = std::sin(t * 0.01);
        double x = in;
        EXPECT_EQ(r.process(x, t & 1), 0.0);
        ASSERT_GE(x, in);
        ASSERT_LE(x, in + ditherBound);
    }
}

TEST(ReverbStageTail, atFactorOneTheTailIsTheTableFromTap256AfterASilenceOf255Samples)
{
    for (int channel : {0, 1}) {
        ReverbStage r;
        r.setPeriod(1.0 / 32000.0);
        r.setLevel(1.0);
        const float* table = channel == 0 ? ir::reverbChannel0 : ir::reverbChannel1;
        const auto wet = wetImpulse(r, channel, ir::reverbLength + 500);
        for (int t = 0; t < 255; ++t) ASSERT_NEAR(wet[t], 0.0, 1e-12) << t;
        for (int t = 255; t < ir::reverbLength - 1; ++t) ASSERT_NEAR(wet[t], 1.4 * table[t + 1], 2e-6) << t;
        for (std::size_t t = ir::reverbLength; t < wet.size(); ++t) ASSERT_NEAR(wet[t], 0.0, 1e-6) << t;
    }
}

TEST(ReverbStageTail, at44kHzTheTailStartsAfter255InternalSamplesAndEndsAfter32767)
{
    ReverbStage r;
    r.setPeriod(1.0 / 44100.0);
    r.setLevel(1.0);
    const auto wet = wetImpulse(r, 0, 2 * ir::reverbLength + 2000);
    for (int t = 0; t < 2 * 255; ++t) ASSERT_NEAR(wet[t], 0.0, 1e-12) << t;
    double early = 0.0, late = 0.0;
    for (int t = 2 * 255; t < 2 * 300; ++t) early += wet[t] * wet[t];
    for (int t = 2 * 32768 + 200; t < static_cast<int>(wet.size()); ++t) late += wet[t] * wet[t];
    EXPECT_GT(early, 1e-5);
    EXPECT_LT(late, 1e-12);
}

TEST(ReverbStageLevel, levelZeroFreezesTheTailAndALaterLevelResumesTheSameTail)
{
    ReverbStage reference, paused;
    for (ReverbStage* r : {&reference, &paused}) {
        r->setPeriod(1.0 / 32000.0);
        r->setLevel(1.0);
    }
    const auto expected = wetImpulse(reference, 0, 4000);
    std::vector<double> got = wetImpulse(paused, 0, 1000);
    paused.setLevel(0.0);
    for (int t = 0; t < 5000; ++t) {
        double x = 0.0;
        ASSERT_EQ(paused.process(x, 0), 0.0);
    }
    paused.setLevel(1.0);
    for (int t = 1000; t < 4000; ++t) {
        double x = 0.0;
        got.push_back(paused.process(x, 0));
    }
    for (int t = 0; t < 4000; ++t) ASSERT_NEAR(got[t], expected[t], 1e-7) << t;
}

TEST(ReverbStageBlocks, aShrinkingFactorBringsTheBlockPositionBackIntoRange)
{
    ReverbStage r;
    r.setLevel(1.0);
    r.setPeriod(1.0 / 192000.0);
    for (int t = 0; t < 7; ++t) {
        double x = 0.0;
        r.process(x, 1);
    }
    r.setPeriod(1.0 / 96000.0);
    r.setPeriod(1.0 / 32000.0);
    const auto wet = wetImpulse(r, 1, 600);
    for (int t = 0; t < 255; ++t) ASSERT_NEAR(wet[t], 0.0, 1e-9) << t;
    for (int t = 255; t < 600; ++t) ASSERT_NEAR(wet[t], 1.4 * ir::reverbChannel1[t + 1], 2e-6) << t;
}

TEST(ReverbStageInput, nanInfinitiesAndOddLevelsLeaveEverythingFinite)
{
    ReverbStage r;
    r.setPeriod(1.0 / 32000.0);
    r.setLevel(std::numeric_limits<double>::quiet_NaN());
    double x = 1.0;
    EXPECT_EQ(r.process(x, 0), 0.0);
    r.setLevel(1.0);
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e300};
    for (double b : bad) {
        x = b;
        EXPECT_TRUE(std::isfinite(r.process(x, 0)));
        EXPECT_TRUE(std::isfinite(x));
    }
    for (int t = 0; t < 40000; ++t) {
        x = 0.0;
        ASSERT_TRUE(std::isfinite(r.process(x, 0))) << t;
    }
}

}  // namespace
}  // namespace valvora
