#include "engine/circuits/DriveStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using testing::Complex;

struct ReferenceTaps {
    double g, h, r;
};

// The correction taps worked out in double precision from a series-expanded
// hold; the stage works them out in single precision, so they agree to a few
// parts per million.
ReferenceTaps referenceTaps(const DriveStage::Model& m, double rate)
{
    const Eigen::MatrixXd ad = testing::taylorExp(m.a / rate);
    const Eigen::VectorXd bd = testing::taylorHoldIntegral(m.a, m.b, 1.0 / rate);
    const Complex quarter(0.0, 1.0);
    const double p0 = std::norm(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0));
    const double p1 = std::norm(
        testing::stateSpaceResponse(m.a, m.b, m.c, m.d, Complex(0.0, std::numbers::pi / 2.0 * rate)));
    const double p2 = std::norm(testing::stateSpaceResponse(ad, bd, m.c, m.d, 1.0));
    const double p3 = std::norm(quarter) * std::norm(testing::stateSpaceResponse(ad, bd, m.c, m.d, quarter));
    const double k = p0 / p2, r = p1 / p3;
    const double x = 2.0 * r * r - 1.0;
    const double g = (x >= 0.0 ? 1.0 + std::sqrt(x) : std::sqrt(1.0 - x)) * k * 0.5;
    return {g, k - g, r};
}

DriveStage stageAt(double rate)
{
    DriveStage stage;
    stage.setPeriod(1.0 / rate);
    return stage;
}

TEST(DriveStageNetwork, HasTheStatedAnalogueShape)
{
    const DriveStage stage;
    const DriveStage::Model& m = stage.continuous();
    auto gainAt = [&](double hz) {
        return std::abs(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(hz)));
    };
    EXPECT_NEAR(20.0 * std::log10(gainAt(0.0)), -16.2, 0.05);
    EXPECT_NEAR(gainAt(2000.0), 0.67, 0.01);
    EXPECT_NEAR(gainAt(10000.0), 0.31, 0.01);
}

TEST(DriveStageCorrection, TapsMatchTheStatedValuesAt44100)
{
    const DriveStage stage = stageAt(44100.0);
    EXPECT_NEAR(stage.correctionCurrent(), 0.795, 0.0005);
    EXPECT_NEAR(stage.correctionPrevious(), 0.205, 0.0005);
    const ReferenceTaps ref = referenceTaps(stage.continuous(), 44100.0);
    EXPECT_NEAR(ref.r, 0.821, 0.0005);
}

TEST(DriveStageCorrection, TapsAgreeWithADoublePrecisionReferenceAtEveryRate)
{
    double previousG = 2.0;
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 352800.0}) {
        const DriveStage stage = stageAt(rate);
        const ReferenceTaps ref = referenceTaps(stage.continuous(), rate);
        EXPECT_NEAR(stage.correctionCurrent(), ref.g, 3e-5 * ref.g) << rate;
        EXPECT_NEAR(stage.correctionPrevious(), ref.h, 3e-5 * ref.g) << rate;
        // Taps sum to the DC ratio (1 up to rounding); their magnitude at a
        // quarter of the rate is r.
        EXPECT_NEAR(stage.correctionCurrent() + stage.correctionPrevious(), 1.0, 3e-5) << rate;
        EXPECT_NEAR(std::hypot(stage.correctionCurrent(), stage.correctionPrevious()), ref.r, 3e-5) << rate;
        EXPECT_LT(stage.correctionCurrent(), previousG) << rate;  // g falls slowly as the rate rises
        previousG = stage.correctionCurrent();
    }
}

TEST(DriveStageResponse, ConstantInputSettlesToTheAnalogueDcGain)
{
    DriveStage stage = stageAt(44100.0);
    const DriveStage::Model& m = stage.continuous();
    const double dc = testing::stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0).real();
    double y = 0.0;
    for (int n = 0; n < 4410; ++n) {
        y = 0.5;
        stage.process(y, 0);
    }
    EXPECT_NEAR(y, 0.5 * dc, 1e-6 * 0.5 * dc);
}

TEST(DriveStageResponse, SineResponseIsTheHeldNetworkTimesTheCorrection)
{
    const int rate = 48000;
    DriveStage stage = stageAt(rate);
    const DriveStage::Model& m = stage.continuous();
    const Eigen::MatrixXd ad = testing::taylorExp(m.a / double(rate));
    const Eigen::VectorXd bd = testing::taylorHoldIntegral(m.a, m.b, 1.0 / rate);
    for (double hz : {100.0, 1000.0, 7000.0}) {
        const Complex z = testing::unitCircle(hz, rate);
        const Complex want = testing::stateSpaceResponse(ad, bd, m.c, m.d, z) *
                             (stage.correctionCurrent() + stage.correctionPrevious() / z);
        const Complex got = testing::measureSineResponse(
            [&](double u) {
                stage.process(u, 0);
                return u;
            },
            hz, rate, rate / 10);
        EXPECT_LT(testing::relativeError(got, want), 1e-7) << hz;
    }
}

TEST(DriveStagePeriod, RecomputesOnlyOnARealChange)
{
    DriveStage stage;
    EXPECT_EQ(stage.correctionCurrent(), 1.0);
    EXPECT_EQ(stage.correctionPrevious(), 0.0);
    stage.setPeriod(1.0 / 44100.0);
    const double g = stage.correctionCurrent();
    const auto ad = stage.discrete().ad;
    stage.setPeriod(std::numeric_limits<double>::quiet_NaN());
    stage.setPeriod(1.0 / 44100.0);
    EXPECT_EQ(stage.period(), 1.0 / 44100.0);
    EXPECT_EQ(stage.correctionCurrent(), g);
    EXPECT_EQ(stage.discrete().ad, ad);
}

TEST(DriveStagePeriod, ADegeneratePeriodKeepsTheLastSoundCoefficients)
{
    DriveStage stage = stageAt(44100.0);
    const double g = stage.correctionCurrent();
    const auto ad = stage.discrete().ad;
    stage.setPeriod(HUGE_VAL);
    EXPECT_EQ(stage.discrete().ad, ad);
    EXPECT_EQ(stage.correctionCurrent(), g);
}

TEST(DriveStageChannels, KeepStateAndPreviousOutputApart)
{
    DriveStage stage = stageAt(44100.0);
    for (int n = 0; n < 300; ++n) {
        double x = n % 20 < 10 ? 1.0 : -1.0;
        stage.process(x, 0);
    }
    double zero = 0.0;
    stage.process(zero, 1);
    EXPECT_EQ(zero, 0.0);
    EXPECT_TRUE(stage.discrete().state[1].isZero(0.0));
}

}  // namespace
}  // namespace valvora
