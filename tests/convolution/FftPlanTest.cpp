#include "convolution/FftPlan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/convolution/DirectConvolution.h"

namespace valvora {
namespace {

using testing::uniformNoise;

class FftPlanSizes : public ::testing::TestWithParam<int> {};

// Where the processor has AVX2, RealFft runs the wide passes and its own tests
// cover them; this keeps the four-float passes (every other processor's path)
// tested too, and checks that both paths agree.
TEST_P(FftPlanSizes, baselineAndWidePassesGiveTheSameTransforms)
{
    const int n = GetParam();
    FftPlan baseline(n, false), best(n);
    const auto x = uniformNoise(n, 11u + n);
    std::vector<float> a(n), b(n), backA(n), backB(n);
    baseline.forward(x.data(), a.data());
    best.forward(x.data(), b.data());
    const float spectrumTolerance = 2e-6f * n;
    for (int k = 0; k < n; ++k) ASSERT_NEAR(a[k], b[k], spectrumTolerance) << k;
    baseline.inverse(a.data(), backA.data());
    best.inverse(a.data(), backB.data());
    for (int t = 0; t < n; ++t) {
        ASSERT_NEAR(backA[t], n * x[t], 4e-6f * n * std::log2(n)) << t;
        ASSERT_NEAR(backA[t], backB[t], 4e-6f * n * std::log2(n)) << t;
    }
}

TEST_P(FftPlanSizes, baselinePassesInvertInPlace)
{
    const int n = GetParam();
    FftPlan plan(n, false);
    auto data = uniformNoise(n, 5u + n);
    const auto x = data;
    plan.forward(data.data(), data.data());
    plan.inverse(data.data(), data.data());
    for (int t = 0; t < n; ++t) ASSERT_NEAR(data[t], n * x[t], 4e-6f * n * std::log2(n)) << t;
}

INSTANTIATE_TEST_SUITE_P(AllSizes, FftPlanSizes,
                         ::testing::Values(128, 256, 512, 1024, 2048, 4096, 8192, 16384));

}  // namespace
}  // namespace valvora
