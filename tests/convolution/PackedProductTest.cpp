#include "convolution/PackedProduct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "convolution/FftPlan.h"
#include "tests/convolution/DirectConvolution.h"

namespace valvora {
namespace {

using testing::uniformNoise;

// The circular convolution of x and h at time t, in double precision.
double circular(const std::vector<float>& x, const std::vector<float>& h, int t)
{
    const int n = static_cast<int>(x.size());
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += static_cast<double>(h[k]) * x[(t - k + n) % n];
    return sum;
}

// A segment's packed spectrum the way the convolvers load it: the public
// transform, scaled by 1/N, then packed.
std::vector<float> packedSpectrum(FftPlan& plan, const std::vector<float>& h)
{
    const int n = plan.size();
    std::vector<float> spectrum(n), packed(plan.packedFloats());
    plan.forward(h.data(), spectrum.data());
    for (float& v : spectrum) v /= static_cast<float>(n);
    plan.packSpectrum(spectrum.data(), packed.data());
    return packed;
}

// Every output sample for the small sizes; a spread of them (each O(N) to
// check) for the large ones.
std::vector<int> checkedTimes(int n)
{
    std::vector<int> times;
    const int step = n <= 512 ? 1 : n / 257;
    for (int t = 0; t < n; t += step) times.push_back(t);
    times.push_back(n - 1);
    return times;
}

float tolerance(int n)
{
    return 3e-6f * std::sqrt(static_cast<float>(n)) * std::log2(static_cast<float>(n));
}

class PackedProductSizes : public ::testing::TestWithParam<std::tuple<int, bool>> {};

// Every mirrored pair of bins (vectors, single bins, DC with Nyquist and the
// middle bin) has to be untangled, multiplied and tangled back in its own
// place, or the circular convolution comes out wrong somewhere.
TEST_P(PackedProductSizes, oneProductGivesTheCircularConvolution)
{
    const auto [n, wide] = GetParam();
    FftPlan plan(n, wide);
    const auto x = uniformNoise(n, 3u + n), h = uniformNoise(n, 7u + n);
    const auto packed = packedSpectrum(plan, h);
    std::vector<float> y(n);
    plan.forwardPacked(x.data());
    plan.multiplyPacked(packed.data());
    plan.inversePacked(y.data());
    for (int t : checkedTimes(n)) ASSERT_NEAR(y[t], circular(x, h, t), tolerance(n)) << t;
}

// The accumulating product of a worker: this window with slot A plus the
// previous window (kept packed by the previous call) with slot B.
TEST_P(PackedProductSizes, theAccumulatingProductAddsThePreviousWindowsProductWithTheSecondSpectrum)
{
    const auto [n, wide] = GetParam();
    FftPlan plan(n, wide);
    const auto x0 = uniformNoise(n, 13u + n), x1 = uniformNoise(n, 17u + n);
    const auto a = uniformNoise(n, 19u + n), b = uniformNoise(n, 23u + n);
    const auto packedA = packedSpectrum(plan, a), packedB = packedSpectrum(plan, b);
    std::vector<float> kept[2] = {std::vector<float>(plan.packedFloats(), 0.0f),
                                  std::vector<float>(plan.packedFloats(), 0.0f)};
    std::vector<float> y(n);

    plan.forwardPacked(x0.data());
    plan.multiplyAddPacked(kept[0].data(), kept[1].data(), packedA.data(), packedB.data());
    plan.inversePacked(y.data());
    for (int t : checkedTimes(n)) ASSERT_NEAR(y[t], circular(x0, a, t), tolerance(n)) << t;

    plan.forwardPacked(x1.data());
    plan.multiplyAddPacked(kept[1].data(), kept[0].data(), packedA.data(), packedB.data());
    plan.inversePacked(y.data());
    for (int t : checkedTimes(n))
        ASSERT_NEAR(y[t], circular(x1, a, t) + circular(x0, b, t), 2.0f * tolerance(n)) << t;
}

INSTANTIATE_TEST_SUITE_P(AllSizes, PackedProductSizes,
                         ::testing::Combine(::testing::Values(128, 256, 512, 1024, 2048, 4096, 8192, 16384),
                                            ::testing::Bool()));

}  // namespace
}  // namespace valvora
