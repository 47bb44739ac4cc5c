#include "engine/circuits/DriveHighPass.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using testing::Complex;

// The analogue prototype G·s / (s − σ) at the frequency the bilinear rule maps
// to `hz`.
Complex prototypeResponse(double gainValue, double hz, double rate)
{
    const double g = 1.0 / (31.303 - 30.303 * gainValue);
    const double sigma = -644.744680851063 * g;
    const double warped = 2.0 * rate * std::tan(std::numbers::pi * hz / rate);
    const Complex s(0.0, warped);
    return g * s / (s - sigma);
}

Complex measured(DriveHighPass& filter, double hz, int rate)
{
    return testing::measureSineResponse(
        [&](double u) {
            filter.process(u, 0);
            return u;
        },
        hz, rate, 2 * rate);
}

TEST(DriveHighPassCoefficients, ConstructorHoldsTheHalfGainSettingAt44100)
{
    const DriveHighPass filter;
    EXPECT_NEAR(filter.p0(), 0.9990952266433746, 1e-15);
    EXPECT_NEAR(filter.p1(), -0.0009047733566254464, 1e-18);
    EXPECT_NEAR(filter.p2(), 0.06188574518290483, 1e-16);
    EXPECT_NEAR(filter.p3(), 0.06188574518290483, 1e-16);
}

TEST(DriveHighPassCoefficients, FeedForwardTapsAgreeAtEveryRateAndGain)
{
    DriveHighPass filter;
    for (double rate : {44100.0, 48000.0, 352800.0, 384000.0})
        for (double v : {0.005, 0.2, 0.5, 0.9, 1.0}) {
            filter.update(1.0 / rate, v);
            EXPECT_NEAR(filter.p2(), filter.p3(), 4e-16 * filter.p2()) << rate << " " << v;
        }
}

TEST(DriveHighPassCoefficients, DegenerateUpdatesKeepTheLastSoundOnes)
{
    DriveHighPass filter;
    filter.update(1.0 / 48000.0, 0.7);
    const double p0 = filter.p0(), p3 = filter.p3();
    filter.update(0.0, 0.7);
    filter.update(std::nan(""), 0.7);
    EXPECT_EQ(filter.p0(), p0);
    EXPECT_EQ(filter.p3(), p3);
}

TEST(DriveHighPassResponse, FullGainPassesHighsAtUnityWithACornerNear103Hz)
{
    const int rate = 44100;
    DriveHighPass filter;
    filter.update(1.0 / rate, 1.0);
    const double corner = 644.744680851063 / (2.0 * std::numbers::pi);
    EXPECT_NEAR(corner, 103.0, 0.5);
    EXPECT_NEAR(std::abs(measured(filter, corner, rate)), std::sqrt(0.5), 1e-3);
    EXPECT_NEAR(std::abs(measured(filter, 8000.0, rate)), 1.0, 1e-3);
    for (double hz : {20.0, 103.0, 1000.0, 15000.0})
        EXPECT_LT(testing::relativeError(measured(filter, hz, rate), prototypeResponse(1.0, hz, rate)), 1e-7)
            << hz;
}

TEST(DriveHighPassResponse, LowestGainAttenuatesHighsByAbout30dB)
{
    const int rate = 352800;
    DriveHighPass filter;
    filter.update(1.0 / rate, 0.005);
    EXPECT_NEAR(20.0 * std::log10(std::abs(measured(filter, 5000.0, rate))), -29.9, 0.05);
    EXPECT_LT(testing::relativeError(measured(filter, 3.0, rate), prototypeResponse(0.005, 3.0, rate)), 1e-6);
}

TEST(DriveHighPassResponse, BlocksDc)
{
    DriveHighPass filter;
    filter.update(1.0 / 48000.0, 1.0);
    double y = 0.0;
    for (int n = 0; n < 48000; ++n) {
        y = 0.7;
        filter.process(y, 0);
    }
    EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST(DriveHighPassChannels, AreIndependent)
{
    DriveHighPass filter;
    for (int n = 0; n < 100; ++n) {
        double x = 1.0;
        filter.process(x, 1);
    }
    double zero = 0.0;
    filter.process(zero, 0);
    EXPECT_EQ(zero, 0.0);
}

}  // namespace
}  // namespace valvora
