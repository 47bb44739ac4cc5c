#include "engine/Oversampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

using valvora::Oversampler;

namespace {

constexpr int F = Oversampler::factor;
const auto& fir = Oversampler::firCoefficients;

double phaseSum(int k)
{
    double s = 0.0;
    for (int t = k; t < Oversampler::firLength; t += 4) s += fir[t];
    return s;
}

// Direct-form model of the same cascade, written without polyphase tricks:
// the half-band's two allpass chains, then zero-stuffing by 4 and the full
// 40-tap convolution (up); the full convolution at every 8x sample, keeping
// the two survivors, then the half-band (down).
class AllpassChain {
public:
    explicit AllpassChain(int first) : first_(first) {}
    double operator()(double x)
    {
        for (int s = 0; s < 4; ++s) {
            const double c = Oversampler::allpassCoefficients[first_ + 2 * s];
            const double y = c * (x - y1_[s]) + x1_[s];
            x1_[s] = x, y1_[s] = y, x = y;
        }
        return x;
    }

private:
    int first_;
    double x1_[4] = {}, y1_[4] = {};
};

std::vector<double> referenceUp(const std::vector<double>& in)
{
    AllpassChain even(0), odd(1);
    std::vector<double> stuffed;
    for (double x : in) {
        const double p0 = even(4 * x), p1 = odd(4 * x);
        for (double p : {p0, p1}) {
            stuffed.push_back(p);
            stuffed.insert(stuffed.end(), 3, 0.0);
        }
    }
    std::vector<double> out(stuffed.size(), 0.0);
    for (size_t n = 0; n < out.size(); ++n)
        for (int t = 0; t < Oversampler::firLength && t <= static_cast<int>(n); ++t)
            out[n] += fir[t] * stuffed[n - t];
    return out;
}

std::vector<double> referenceDown(const std::vector<double>& in8)
{
    AllpassChain even(0), odd(1);
    auto filtered = [&](size_t n) {
        double s = 0.0;
        for (int t = 0; t < Oversampler::firLength && t <= static_cast<int>(n); ++t) s += fir[t] * in8[n - t];
        return s;
    };
    std::vector<double> out;
    for (size_t n = 0; n + F <= in8.size(); n += F) {
        const double a = filtered(n + 3), b = filtered(n + 7);
        out.push_back((even(b) + odd(a)) * 0.5);
    }
    return out;
}

std::vector<double> testSignal(int n)
{
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = std::sin(0.37 * i) + 0.5 * std::cos(1.9 * i) + (i % 17 == 0 ? 1.0 : 0.0);
    return x;
}

}  // namespace

TEST(OversamplerCoefficients, firIsSymmetricAboutTheCentreTapWithQuarterGainPhases)
{
    for (int t = 1; t < Oversampler::firLength; ++t) EXPECT_EQ(fir[t], fir[40 - t]) << t;
    EXPECT_EQ(fir[20], 0.2092364495061);
    EXPECT_EQ(fir[0], -7.111575987489e-05);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(phaseSum(k), 0.25, 1e-3) << k;
}

TEST(OversamplerUp, matchesTheDirectFormCascade)
{
    const std::vector<double> in = testSignal(300);
    const std::vector<double> expected = referenceUp(in);
    Oversampler up;
    double block[F];
    for (size_t i = 0; i < in.size(); ++i) {
        up.up(in[i], block);
        for (int k = 0; k < F; ++k) ASSERT_NEAR(block[k], expected[F * i + k], 1e-12) << i << ":" << k;
    }
}

TEST(OversamplerDown, matchesTheDirectFormCascade)
{
    std::vector<double> in8 = testSignal(8 * 300);
    const std::vector<double> expected = referenceDown(in8);
    Oversampler down;
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(down.down(&in8[F * i]), expected[i], 1e-12) << i;
}

TEST(OversamplerUp, constantOneSettlesAtFourTimesEachPhaseSum)
{
    Oversampler up;
    double block[F];
    for (int i = 0; i < 1000; ++i) up.up(1.0, block);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(block[k], 4.0 * phaseSum(k), 1e-12) << k;
        EXPECT_NEAR(block[k + 4], 4.0 * phaseSum(k), 1e-12) << k;
    }
}

TEST(OversamplerDown, constantOneSettlesAtTheSumOfAllTaps)
{
    Oversampler down;
    const double ones[F] = {1, 1, 1, 1, 1, 1, 1, 1};
    double y = 0.0;
    for (int i = 0; i < 1000; ++i) y = down.down(ones);
    EXPECT_NEAR(y, std::accumulate(fir.begin(), fir.end(), 0.0), 1e-12);
}

TEST(OversamplerRoundTrip, constantOneSettlesJustBelowOne)
{
    Oversampler up, down;
    double block[F];
    double y = 0.0;
    for (int i = 0; i < 1000; ++i) {
        up.up(1.0, block);
        y = down.down(block);
    }
    // The settled up outputs repeat 4·(phase sum) with period 4; the down
    // FIR weighs them tap by tap. That is the product of the two DC gains up
    // to the tiny spread of the phase sums.
    double exact = 0.0;
    for (int t = 0; t < Oversampler::firLength; ++t) exact += fir[t] * 4.0 * phaseSum(((3 - t) % 4 + 4) % 4);
    EXPECT_NEAR(y, exact, 1e-12);
    EXPECT_NEAR(y, std::accumulate(fir.begin(), fir.end(), 0.0), 1e-3);
    EXPECT_LT(y, 1.0);
    EXPECT_GT(y, 0.99);
}

TEST(OversamplerRoundTrip, impulseRisesFromThreeSamplesAndPeaksAtNine)
{
    Oversampler up, down;
    double block[F];
    std::vector<double> y;
    for (int i = 0; i < 140; ++i) {
        up.up(i == 0 ? 1.0 : 0.0, block);
        y.push_back(down.down(block));
    }
    const auto peak =
        std::max_element(y.begin(), y.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(peak - y.begin(), 9);
    for (int i = 0; i < 3; ++i) EXPECT_LT(std::fabs(y[i]), 1e-7) << i;
    EXPECT_GT(std::fabs(y[3]), 1e-6);
    for (int i = 4; i < 9; ++i) EXPECT_GT(std::fabs(y[i]), std::fabs(y[i - 1])) << i;
    for (int i = 100; i < 140; ++i) EXPECT_LT(std::fabs(y[i]), 0.01 * std::fabs(*peak)) << i;
}

TEST(OversamplerUp, firstCallOnANewObjectGivesEightSmallNegativeOutputs)
{
    Oversampler up;
    double block[F];
    up.up(1.0, block);
    for (int k = 0; k < F; ++k) {
        EXPECT_LT(block[k], 0.0) << k;
        EXPECT_LE(std::fabs(block[k]), 1e-4) << k;
    }
}

TEST(OversamplerHostile, neverLeavesNaNOrInfinityAndReturnsToTheCleanResponse)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double big = std::numeric_limits<double>::max();
    const double hostile[] = {nan, inf, -inf, 1e30, -1e30, big, -big, nan};
    Oversampler up, down, cleanUp, cleanDown;
    double block[F], cleanBlock[F];
    for (int i = 0; i < 400; ++i) {
        const double x = i < 200 ? (i / 10 % 2 ? 1.0 : -1.0) : hostile[i % 8];
        up.up(x, block);
        for (double v : block) ASSERT_TRUE(std::isfinite(v)) << i;
        ASSERT_TRUE(std::isfinite(down.down(block))) << i;
        // The downsampler meets the hostile values directly too.
        double raw[F];
        std::fill(raw, raw + F, x);
        ASSERT_TRUE(std::isfinite(down.down(raw))) << i;
    }
    // Both objects are linear: once the burst has decayed they agree with
    // objects that never saw it.
    double y = 0.0, clean = 0.0;
    for (int i = 0; i < 40000; ++i) {
        const double x = std::sin(0.05 * i);
        up.up(x, block);
        cleanUp.up(x, cleanBlock);
        y = down.down(block);
        clean = cleanDown.down(cleanBlock);
    }
    for (int k = 0; k < F; ++k) EXPECT_NEAR(block[k], cleanBlock[k], 1e-9);
    EXPECT_NEAR(y, clean, 1e-9);
}

TEST(OversamplerState, objectsAreIndependentAndThePositionWrapsWithinTheRing)
{
    Oversampler a, b;
    double block[F], other[F];
    for (int i = 0; i < 100; ++i) {
        a.up(std::sin(0.1 * i), block);
        b.up(123.0, other);
        ASSERT_GE(a.ringPosition(), 0);
        ASSERT_LT(a.ringPosition(), Oversampler::ringSize);
    }
    Oversampler c;
    for (int i = 0; i < 100; ++i) c.up(std::sin(0.1 * i), other);
    for (int k = 0; k < F; ++k) EXPECT_EQ(block[k], other[k]);
}
