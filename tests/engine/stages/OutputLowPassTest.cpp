#include "engine/stages/OutputLowPass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

using valvora::OutputLowPass;

namespace {

constexpr double corner = 41719.55583;  // rad/s
constexpr double rates[] = {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0};

OutputLowPass at(double rate)
{
    OutputLowPass f;
    f.setPeriod(1.0 / rate);
    return f;
}

// Steady-state amplitude measured by running the filter, not from its
// coefficients: drive a cosine, let it settle, then correlate the output with
// the frequency over whole periods.
double measuredGain(OutputLowPass& f, double cyclesPerSample)
{
    const double pi = std::acos(-1.0);
    const double w = 2 * pi * cyclesPerSample;
    std::complex<double> sum = 0.0;
    const int settle = 10000, length = 10000;  // length: whole periods for 0.25, 0.15, 0.01, 0.45
    for (int n = 0; n < settle + length; ++n) {
        double x = std::cos(w * n);
        f.process(x, 0);
        if (n >= settle) sum += x * std::polar(1.0, -w * n);
    }
    return 2.0 * std::abs(sum) / length;
}

}  // namespace

TEST(OutputLowPassResponse, constantInputSettlesToTheSameConstantAtEveryRate)
{
    for (double rate : rates) {
        OutputLowPass f = at(rate);
        double x = 0.0;
        for (int n = 0; n < 5000; ++n) {
            x = 0.75;
            f.process(x, 0);
        }
        EXPECT_NEAR(x, 0.75, 1e-12) << rate;
        EXPECT_NEAR((f.b0Value() + f.b1Value()) / (1.0 + f.a1Value()), 1.0, 1e-14) << rate;
    }
}

TEST(OutputLowPassResponse, quarterRateGainEqualsTheAnalogPrototypeExactly)
{
    const double pi = std::acos(-1.0);
    for (double rate : rates) {
        OutputLowPass f = at(rate);
        const double w4 = pi / 2 * rate;
        const double analog = corner / std::abs(std::complex<double>(corner, w4));
        const std::complex<double> zInv(0.0, -1.0);  // z = j
        const double digital = std::abs((f.b0Value() + f.b1Value() * zInv) / (1.0 + f.a1Value() * zInv));
        EXPECT_NEAR(digital, analog, 1e-12) << rate;
        EXPECT_NEAR(measuredGain(f, 0.25), analog, 1e-9) << rate;
    }
    OutputLowPass f = at(44100.0);
    EXPECT_NEAR(20 * std::log10(measuredGain(f, 0.25)), -5.75, 0.01);
}

TEST(OutputLowPassResponse, isALowPassThatFallsBetweenDcAndNyquist)
{
    OutputLowPass f = at(44100.0);
    const double low = measuredGain(f, 0.01), mid = measuredGain(f, 0.15), high = measuredGain(f, 0.45);
    EXPECT_GT(low, mid);
    EXPECT_GT(mid, high);
    EXPECT_NEAR(low, 1.0, 0.01);
}

TEST(OutputLowPassChannels, channelsFilterIndependently)
{
    OutputLowPass both = at(48000.0), left = at(48000.0), right = at(48000.0);
    for (int n = 0; n < 500; ++n) {
        double a = n == 0 ? 1.0 : 0.0, b = std::sin(0.3 * n);
        double a1 = a, b1 = b;
        both.process(a, 0);
        both.process(b, 1);
        left.process(a1, 0);
        right.process(b1, 1);
        ASSERT_EQ(a, a1) << n;
        ASSERT_EQ(b, b1) << n;
    }
}

TEST(OutputLowPassChannels, processReturnsTheValueItWritesBack)
{
    OutputLowPass f = at(44100.0);
    double x = 0.3;
    const double y = f.process(x, 1);
    EXPECT_EQ(y, x);
    EXPECT_NE(y, 0.3);
}

TEST(OutputLowPassRate, recomputesOnEveryCallAndIgnoresMeaninglessPeriods)
{
    OutputLowPass f = at(44100.0);
    const double b0 = f.b0Value();
    f.setPeriod(1.0 / 96000.0);
    EXPECT_NE(f.b0Value(), b0);
    f.setPeriod(1.0 / 44100.0);
    EXPECT_EQ(f.b0Value(), b0);
    for (double bad : {0.0, -1.0 / 44100.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        f.setPeriod(bad);
        EXPECT_EQ(f.b0Value(), b0) << bad;
    }
}

TEST(OutputLowPassHostile, neverLeavesNaNOrInfinityAndReturnsToTheCleanResponse)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double big = std::numeric_limits<double>::max();
    const double hostile[] = {nan, inf, -inf, 1e30, -1e30, big, big, -big, nan};
    OutputLowPass f = at(192000.0), clean = at(192000.0);
    for (int n = 0; n < 1000; ++n) {
        double x = n < 500 ? (n / 20 % 2 ? 1.0 : -1.0) : hostile[n % 9];
        f.process(x, 0);
        ASSERT_TRUE(std::isfinite(x)) << n;
        ASSERT_TRUE(std::isfinite(f.stateValue(0))) << n;
    }
    double y = 0.0, c = 0.0;
    for (int n = 0; n < 20000; ++n) {
        y = c = std::sin(0.02 * n);
        f.process(y, 0);
        clean.process(c, 0);
    }
    EXPECT_NEAR(y, c, 1e-12);
}
