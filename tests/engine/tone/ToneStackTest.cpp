#include "engine/tone/ToneStack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using testing::Complex;

ToneStack stackAt(int variant, double bass, double middle, double treble, double rate = 44100.0)
{
    ToneStack stack(variant);
    stack.setControls(bass, middle, treble, 1.0 / rate);
    return stack;
}

double analogueGain(const ToneStack& stack, double hz)
{
    const ToneStack::Model& m = stack.continuous();
    return std::abs(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(hz)));
}

Complex discreteResponse(const ToneStack& stack, double hz, double rate)
{
    const DiscreteModel<7>& d = stack.discrete();
    return testing::stateSpaceResponse(d.ad, d.bd, d.cd, d.dd, testing::unitCircle(hz, rate));
}

TEST(ToneStackShape, MiddlePositionsScoopTheMidsAndVariantOneLessSo)
{
    const ToneStack v0 = stackAt(0, 0.5, 0.5, 0.5), v1 = stackAt(1, 0.5, 0.5, 0.5);
    for (const ToneStack* stack : {&v0, &v1}) {
        double minimum = 1e9, where = 0.0;
        for (double hz = 50.0; hz < 10000.0; hz *= 1.02) {
            const double g = analogueGain(*stack, hz);
            if (g < minimum) minimum = g, where = hz;
        }
        EXPECT_GT(where, 400.0) << stack->variant();
        EXPECT_LT(where, 2000.0) << stack->variant();
        EXPECT_GT(analogueGain(*stack, 10000.0), 1.5 * minimum) << stack->variant();
        EXPECT_GT(analogueGain(*stack, 1.0), 1.5 * minimum) << stack->variant();
    }
    EXPECT_NEAR(analogueGain(v0, 0.0), analogueGain(v1, 0.0), 1e-8 * analogueGain(v0, 0.0));
    EXPECT_GT(analogueGain(v1, 1000.0) / analogueGain(v1, 0.0),
              analogueGain(v0, 1000.0) / analogueGain(v0, 0.0));
    EXPECT_GT(analogueGain(v1, 10000.0), analogueGain(v0, 10000.0));
}

TEST(ToneStackShape, DcGainFollowsTheBassAloneAndIsTheSameInBothVariants)
{
    for (int variant : {0, 1}) {
        double previous = 0.0;
        for (double bass : {0.05, 0.2, 0.5, 0.8, 1.0}) {
            const double reference = analogueGain(stackAt(0, bass, 0.5, 0.5), 0.0);
            EXPECT_GT(reference, previous) << bass;
            previous = reference;
            for (double middle : {0.0, 0.3, 0.9})
                for (double treble : {0.0, 0.6, 1.0}) {
                    const ToneStack stack = stackAt(variant, bass, middle, treble);
                    EXPECT_NEAR(analogueGain(stack, 0.0), reference, 1e-8 * reference)
                        << variant << " " << bass << " " << middle << " " << treble;
                    EXPECT_NEAR(std::abs(discreteResponse(stack, 0.0, 44100.0)), reference, 1e-8 * reference);
                }
        }
    }
}

TEST(ToneStackShape, ExtremeSettingsCutTheMidsAndTrebleLiftsTheHighs)
{
    const ToneStack flat0 = stackAt(0, 0.0, 0.0, 0.0), flat1 = stackAt(1, 0.0, 0.0, 0.0);
    EXPECT_LT(analogueGain(flat0, 1000.0), 0.1);  // below -20 dB
    EXPECT_LT(analogueGain(flat1, 1000.0), 0.1);
    EXPECT_GT(analogueGain(flat1, 1000.0), analogueGain(flat0, 1000.0));
    const ToneStack bright0 = stackAt(0, 0.0, 0.0, 1.0), bright1 = stackAt(1, 0.0, 0.0, 1.0);
    EXPECT_GT(analogueGain(bright0, 10000.0), 1.0);
    EXPECT_GT(analogueGain(bright1, 10000.0), analogueGain(bright0, 10000.0));
}

TEST(ToneStackDiscrete, MatchesTheAnalogueResponseAtTheWarpedFrequency)
{
    for (double rate : {44100.0, 352800.0}) {
        const ToneStack stack = stackAt(1, 0.3, 0.2, 0.7, rate);
        for (double hz : {30.0, 300.0, 1000.0, 10000.0}) {
            const double warped = rate * std::tan(std::numbers::pi * hz / rate) / std::numbers::pi;
            const ToneStack::Model& m = stack.continuous();
            const Complex want = testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(warped));
            EXPECT_LT(testing::relativeError(discreteResponse(stack, hz, rate), want), 1e-8)
                << rate << " " << hz;
        }
    }
    // At 44.1 kHz the discrete 10 kHz is the analogue 12.1 kHz.
    const ToneStack stack = stackAt(0, 0.5, 0.5, 0.5);
    EXPECT_NEAR(std::abs(discreteResponse(stack, 10000.0, 44100.0)), analogueGain(stack, 12100.0),
                2e-3 * analogueGain(stack, 12100.0));
    EXPECT_GT(std::abs(analogueGain(stack, 10000.0) - analogueGain(stack, 12100.0)), 1e-3);
}

TEST(ToneStackDiscrete, ProcessingFollowsTheDiscreteTransferFunction)
{
    const int rate = 48000;
    ToneStack stack = stackAt(0, 0.7, 0.4, 0.3, rate);
    for (double hz : {100.0, 1000.0, 8000.0}) {
        const Complex got = testing::measureSineResponse(
            [&](double u) {
                stack.process(u, 1);
                return u;
            },
            hz, rate, rate / 4);
        EXPECT_LT(testing::relativeError(got, discreteResponse(stack, hz, rate)), 1e-7) << hz;
    }
}

TEST(ToneStackControls, ConstructionUsesMiddlePositionsAt44100)
{
    const ToneStack constructed(0);
    const ToneStack set = stackAt(0, 0.5, 0.5, 0.5);
    EXPECT_EQ(constructed.period(), 1.0 / 44100.0);
    EXPECT_EQ(constructed.bass(), 0.5);
    EXPECT_EQ(constructed.continuous().a, set.continuous().a);
    EXPECT_EQ(constructed.discrete().ad, set.discrete().ad);
    EXPECT_EQ(ToneStack(7).variant(), 0);
}

TEST(ToneStackControls, SamePositionsKeepTheAnalogueModelAndAlwaysRediscretise)
{
    ToneStack stack = stackAt(1, 0.2, 0.3, 0.4);
    const ToneStack::Model before = stack.continuous();
    const auto ad = stack.discrete().ad;
    stack.setControls(0.2, 0.3, 0.4, 1.0 / 44100.0);
    EXPECT_EQ(stack.discrete().ad, ad);
    stack.setControls(0.2, 0.3, 0.4, 1.0 / 96000.0);
    EXPECT_EQ(stack.continuous().a, before.a);
    EXPECT_EQ(stack.period(), 1.0 / 96000.0);
    EXPECT_NE(stack.discrete().ad, ad);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    stack.setControls(nan, nan, nan, 1.0 / 96000.0);
    EXPECT_EQ(stack.bass(), 0.2);
    EXPECT_EQ(stack.continuous().c, before.c);
}

TEST(ToneStackControls, ASingularMiddleKeepsTheLastSoundCoefficients)
{
    ToneStack stack = stackAt(0, 0.5, 0.5, 0.5);
    const auto ad = stack.discrete().ad;
    stack.setControls(0.5, 1.0, 0.5, 1.0 / 44100.0);
    EXPECT_EQ(stack.discrete().ad, ad);
    for (int n = 0; n < 1000; ++n) {
        double y = std::sin(0.3 * n);
        stack.process(y, 0);
        ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(ToneStackChannels, SilenceStaysSilentAndChannelsAreIndependent)
{
    ToneStack stack = stackAt(0, 0.9, 0.1, 0.6);
    for (int n = 0; n < 1000; ++n) {
        double silence = 0.0;
        stack.process(silence, 0);
        ASSERT_EQ(silence, 0.0);
    }
    double impulse = 1.0;
    stack.process(impulse, 1);
    for (int n = 0; n < 1000; ++n) {
        double other = 0.0, ringing = 0.0;
        stack.process(other, 0);
        stack.process(ringing, 1);
        ASSERT_EQ(other, 0.0);
    }
    EXPECT_TRUE(stack.discrete().state[0].isZero(0.0));
    EXPECT_FALSE(stack.discrete().state[1].isZero(0.0));
}

}  // namespace
}  // namespace valvora
