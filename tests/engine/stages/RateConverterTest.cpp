#include "engine/stages/RateConverter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/ResamplingCoefficients.h"

namespace valvora {
namespace {

double firSum()
{
    double sum = 0.0;
    for (double f : resampling::firCoefficients) sum += f;
    return sum;
}

double phaseSum(int o)
{
    double sum = 0.0;
    for (int i = 0; i < 10; ++i) sum += resampling::firCoefficients[o + 4 * i];
    return sum;
}

// 32-bit allpass sections settle into limit cycles of a few ulp, hence the
// relative tolerance rather than exact equality.
void expectRelative(double actual, double expected, double tolerance = 4e-7)
{
    EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << "expected " << expected;
}

constexpr float level = 0.7f;
constexpr int settle = 2000;

TEST(RateConverterDcGain, halfBandStepsPassAConstantUnchanged)
{
    // Values at the top of a binade, where the limit cycle is at most 3 ulp.
    for (float constant : {1.0f, -0.5f, 0.25f}) {
        RateConverter down, up;
        const float block[2] = {constant, constant};
        float out[2];
        for (int i = 0; i < settle; ++i) {
            const float d = down.down2(block);
            up.up2(constant, out);
            if (i < settle - 200) continue;
            expectRelative(d, constant);
            expectRelative(out[0], constant);
            expectRelative(out[1], constant);
        }
    }
}

TEST(RateConverterDcGain, quarterStepsScaleAConstantByTheirTapSums)
{
    RateConverter down, up;
    const float block[4] = {level, level, level, level};
    float out[4];
    float d = 0.0f;
    for (int i = 0; i < settle; ++i) d = down.down4(block), up.up4(level, out);
    expectRelative(d, level * firSum(), 1e-6);
    for (int o = 0; o < 4; ++o) expectRelative(out[o], level * 4.0 * phaseSum(o), 1e-6);
}

TEST(RateConverterDcGain, eighthStepsCombineBothFilters)
{
    RateConverter down, up;
    float block[8];
    for (float& s : block) s = level;
    float out[8];
    float d = 0.0f;
    for (int i = 0; i < settle; ++i) d = down.down8(block), up.up8(level, out);
    expectRelative(d, level * firSum(), 1e-6);
    for (int o = 0; o < 4; ++o) {
        expectRelative(out[o], level * 4.0 * phaseSum(o), 1e-6);
        expectRelative(out[o + 4], level * 4.0 * phaseSum(o), 1e-6);
    }
}

TEST(RateConverterStart, newConvertersAreSilentAndRespondOnlyToWhatTheyAreGiven)
{
    RateConverter r2, r4, r8, d2, d4, d8;
    float out[8];
    const float zeros[8] = {};
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(d2.down2(zeros), 0.0f);
        EXPECT_EQ(d4.down4(zeros), 0.0f);
        EXPECT_EQ(d8.down8(zeros), 0.0f);
        r2.up2(0.0f, out);
        EXPECT_EQ(out[0], 0.0f);
        EXPECT_EQ(out[1], 0.0f);
    }
    // A fresh interpolator's first outputs are the leading taps on the new value alone.
    r4.up4(1.0f, out);
    for (int o = 0; o < 4; ++o)
        EXPECT_FLOAT_EQ(out[o], 4.0f * static_cast<float>(resampling::firCoefficients[o]));
    r8.up8(1.0f, out);
    const float firstE =
        4.0f * static_cast<float>(resampling::allpassCoefficients[0] * resampling::allpassCoefficients[2] *
                                  resampling::allpassCoefficients[4] * resampling::allpassCoefficients[6]);
    const float firstO =
        4.0f * static_cast<float>(resampling::allpassCoefficients[1] * resampling::allpassCoefficients[3] *
                                  resampling::allpassCoefficients[5] * resampling::allpassCoefficients[7]);
    for (int o = 0; o < 4; ++o) {
        const float f = static_cast<float>(resampling::firCoefficients[o]);
        const float g = static_cast<float>(resampling::firCoefficients[o + 4]);
        EXPECT_NEAR(out[o], f * firstE, 1e-9f) << o;
        EXPECT_NEAR(out[o + 4], f * firstO + g * firstE, 1e-9f) << o;
    }
}

TEST(RateConverterDecimation, down4UsesTheBlocksOldestSampleAsItsNewestInput)
{
    RateConverter d;
    const float newerOnly[4] = {0.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_EQ(d.down4(newerOnly), 0.0f);
    const float oldestOnly[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    RateConverter e;
    EXPECT_FLOAT_EQ(e.down4(oldestOnly), static_cast<float>(resampling::firCoefficients[0]));
}

TEST(RateConverterDecimation, down2FeedsTheNewerSampleToPathEAndTheOlderToPathO)
{
    RateConverter a, b;
    const float newer[2] = {0.0f, 1.0f}, older[2] = {1.0f, 0.0f};
    const double e = resampling::allpassCoefficients[0] * resampling::allpassCoefficients[2] *
                     resampling::allpassCoefficients[4] * resampling::allpassCoefficients[6];
    const double o = resampling::allpassCoefficients[1] * resampling::allpassCoefficients[3] *
                     resampling::allpassCoefficients[5] * resampling::allpassCoefficients[7];
    EXPECT_NEAR(a.down2(newer), 0.5 * e, 1e-9);
    EXPECT_NEAR(b.down2(older), 0.5 * o, 1e-9);
}

}  // namespace
}  // namespace valvora
