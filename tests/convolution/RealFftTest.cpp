#include "convolution/RealFft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace valvora {
namespace {

constexpr double twoPi = 6.283185307179586476925286766559;

std::vector<float> randomSignal(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (auto& v : x) v = dist(rng);
    return x;
}

// Bin k of the DFT with kernel e^{-2 pi i kn/N}, in double precision.
void directBin(const std::vector<float>& x, int k, double& re, double& im)
{
    const int n = static_cast<int>(x.size());
    re = im = 0.0;
    for (int t = 0; t < n; ++t) {
        const double angle = twoPi * static_cast<double>((static_cast<long long>(k) * t) % n) / n;
        re += x[t] * std::cos(angle);
        im -= x[t] * std::sin(angle);
    }
}

class RealFftSizes : public ::testing::TestWithParam<int> {};

TEST_P(RealFftSizes, forwardMatchesTheDirectTransformInTheSplitLayout)
{
    const int n = GetParam();
    auto fft = RealFft::create(n);
    ASSERT_NE(fft, nullptr);
    EXPECT_EQ(fft->size(), n);
    const auto x = randomSignal(n, 7u + n);
    std::vector<float> spectrum(n);
    fft->forward(x.data(), spectrum.data());

    // All bins for the small sizes, a spread of bins for the large ones.
    std::vector<int> bins;
    const int step = n <= 1024 ? 1 : n / 256 + 1;
    for (int k = 0; k <= n / 2; k += step) bins.push_back(k);
    bins.push_back(1), bins.push_back(n / 2 - 1), bins.push_back(n / 2), bins.push_back(n / 4);
    const double tolerance = 2e-6 * n;
    for (int k : bins) {
        double re, im;
        directBin(x, k, re, im);
        if (k == 0) {
            EXPECT_NEAR(spectrum[0], re, tolerance);
        } else if (k == n / 2) {
            EXPECT_NEAR(spectrum[n / 2], re, tolerance) << "Nyquist";
        } else {
            EXPECT_NEAR(spectrum[k], re, tolerance) << "real part of bin " << k;
            EXPECT_NEAR(spectrum[k + n / 2], im, tolerance) << "imaginary part of bin " << k;
        }
    }
}

TEST_P(RealFftSizes, inverseOfForwardIsNTimesTheInputAndScaleIsExactlyOneOverN)
{
    const int n = GetParam();
    auto fft = RealFft::create(n);
    const auto x = randomSignal(n, 99u + n);
    std::vector<float> spectrum(n), back(n);
    fft->forward(x.data(), spectrum.data());
    fft->inverse(spectrum.data(), back.data());
    std::vector<float> scaled = back;
    fft->scale(scaled.data());
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(back[i], n * x[i], 4e-6 * n * std::log2(n)) << i;
        ASSERT_EQ(scaled[i], back[i] * std::ldexp(1.0f, -static_cast<int>(std::log2(n)))) << i;
    }
}

TEST_P(RealFftSizes, inPlaceTransformsGiveTheSameResult)
{
    const int n = GetParam();
    auto fft = RealFft::create(n);
    const auto x = randomSignal(n, 5u);
    std::vector<float> spectrum(n), buffer = x;
    fft->forward(x.data(), spectrum.data());
    fft->forward(buffer.data(), buffer.data());
    EXPECT_EQ(buffer, spectrum);
    std::vector<float> back(n);
    fft->inverse(spectrum.data(), back.data());
    fft->inverse(buffer.data(), buffer.data());
    EXPECT_EQ(buffer, back);
}

TEST_P(RealFftSizes, aSineAtOneBinLandsOnlyInThatBinsImaginarySlot)
{
    const int n = GetParam();
    auto fft = RealFft::create(n);
    const int k = n / 8 + 3;
    std::vector<float> x(n), spectrum(n);
    for (int t = 0; t < n; ++t) x[t] = static_cast<float>(std::sin(twoPi * k * t / n));
    fft->forward(x.data(), spectrum.data());
    for (int i = 0; i < n; ++i) {
        const double expected = i == k + n / 2 ? -n / 2.0 : 0.0;
        ASSERT_NEAR(spectrum[i], expected, 1e-4 * n) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, RealFftSizes,
                         ::testing::Values(128, 256, 512, 1024, 2048, 4096, 8192, 16384));

TEST(RealFft, refusesSizesOutsideThePowersOfTwoFrom128To16384)
{
    for (int n : {0, -128, 64, 100, 129, 32768, 3000}) EXPECT_EQ(RealFft::create(n), nullptr) << n;
}

}  // namespace
}  // namespace valvora
