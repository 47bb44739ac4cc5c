#include "engine/stages/InputStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using testing::Complex;

constexpr double passBandGain = 3.94890956;

InputStage stageAt(double rate)
{
    InputStage stage;
    stage.setPeriod(1.0 / rate);
    return stage;
}

// The held model's own response, from series-expanded coefficients: the hold
// is not the analogue buffer, and near DC the two parts of the output nearly
// cancel, so only this reference is close enough to test the stage against.
Complex heldResponse(const InputStage::Model& m, double hertz, double rate)
{
    const Eigen::MatrixXd ad = testing::taylorExp(m.a / rate);
    const Eigen::VectorXd bd = testing::taylorHoldIntegral(m.a, m.b, 1.0 / rate);
    return testing::stateSpaceResponse(ad, bd, m.c, m.d, testing::unitCircle(hertz, rate));
}

TEST(InputStageStep, StartsAtThePassBandGainAndDecaysToZero)
{
    const int rate = 44100;
    InputStage stage = stageAt(rate);
    double first = 1.0;
    stage.process(first, 0);
    EXPECT_DOUBLE_EQ(first, passBandGain);
    // From about 18 ms on the output stays below 1% of its first value.
    double worstLater = 0.0, atSeventeenAndAHalf = 0.0;
    for (int n = 1; n < rate; ++n) {
        double y = 1.0;
        stage.process(y, 0);
        if (n >= rate * 185 / 10000) worstLater = std::max(worstLater, std::abs(y));
        if (n == rate * 175 / 10000) atSeventeenAndAHalf = y;
    }
    EXPECT_LT(worstLater, 0.01 * passBandGain);
    EXPECT_GT(atSeventeenAndAHalf, 0.01 * passBandGain);  // it is not faster than stated
    double last = 1.0;
    stage.process(last, 0);
    EXPECT_NEAR(last, 0.0, 1e-9);
}

TEST(InputStageResponse, PassesFiveKilohertzAtTheFeedThroughGainWithASmallLead)
{
    const int rate = 44100;
    InputStage stage = stageAt(rate);
    const Complex h = testing::measureSineResponse(
        [&](double u) {
            stage.process(u, 0);
            return u;
        },
        5000.0, rate, rate / 2);
    EXPECT_NEAR(std::abs(h), passBandGain, 0.01 * passBandGain);
    const double leadDegrees = std::arg(h) * 180.0 / std::numbers::pi;
    EXPECT_GT(leadDegrees, 0.5);
    EXPECT_LT(leadDegrees, 1.5);
    const InputStage::Model& m = stage.continuous();
    EXPECT_LT(testing::relativeError(h, heldResponse(m, 5000.0, rate)), 1e-6);
    const Complex analogue = testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(5000.0));
    EXPECT_LT(testing::relativeError(h, analogue), 1e-2);
}

TEST(InputStageResponse, AttenuatesTenHertzBelowATenth)
{
    const int rate = 44100;
    InputStage stage = stageAt(rate);
    const Complex h = testing::measureSineResponse(
        [&](double u) {
            stage.process(u, 0);
            return u;
        },
        10.0, rate, rate);
    EXPECT_LT(std::abs(h), 0.1);
    EXPECT_GT(std::abs(h), 0.01);
    EXPECT_LT(testing::relativeError(h, heldResponse(stage.continuous(), 10.0, rate)), 1e-6);
}

TEST(InputStageResponse, ResonanceLiftsTheGainJustAboveTheFeedThroughNear200Hz)
{
    const InputStage stage;
    const InputStage::Model& m = stage.continuous();
    const double at200 = std::abs(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(200.0)));
    EXPECT_GT(at200, passBandGain);
    EXPECT_LT(at200, 1.1 * passBandGain);
    EXPECT_NEAR(std::abs(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0)), 0.0, 1e-12);
}

TEST(InputStageCoefficients, AgreeWithTheExactHoldAtSeveralRates)
{
    for (double rate : {22050.0, 44100.0, 48000.0, 192000.0}) {
        InputStage stage = stageAt(rate);
        const InputStage::Model& m = stage.continuous();
        const Eigen::MatrixXd ad = testing::taylorExp(m.a / rate);
        const Eigen::VectorXd bd = testing::taylorHoldIntegral(m.a, m.b, 1.0 / rate);
        EXPECT_LT((stage.discrete().ad - ad).norm(), 1e-14) << rate;
        EXPECT_LT((stage.discrete().bd - bd).norm(), 1e-13 * bd.norm()) << rate;
        // b is the first column of a, so bd is the first column of ad − I.
        EXPECT_NEAR(stage.discrete().bd(0), stage.discrete().ad(0, 0) - 1.0, 1e-15);
        EXPECT_NEAR(stage.discrete().bd(1), stage.discrete().ad(1, 0), 1e-15);
    }
}

TEST(InputStagePeriod, RecomputesOnlyOnARealChange)
{
    InputStage stage;
    EXPECT_EQ(stage.period(), 0.0);
    stage.setPeriod(1.0 / 44100.0);
    const auto before = stage.discrete().ad;
    stage.setPeriod(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(stage.period(), 1.0 / 44100.0);
    EXPECT_EQ(stage.discrete().ad, before);
    stage.setPeriod(1.0 / 96000.0);
    EXPECT_NE(stage.discrete().ad, before);
    stage.setPeriod(1.0 / 44100.0);
    EXPECT_EQ(stage.discrete().ad, before);
}

TEST(InputStageChannels, AreIndependentAndSurviveARateChange)
{
    InputStage stage = stageAt(44100.0);
    for (int n = 0; n < 500; ++n) {
        double x = std::sin(0.05 * n);
        stage.process(x, 1);
    }
    const auto channel1 = stage.discrete().state[1];
    double zero = 0.0;
    stage.process(zero, 0);
    EXPECT_EQ(zero, 0.0);
    stage.setPeriod(1.0 / 48000.0);
    EXPECT_EQ(stage.discrete().state[1], channel1);
}

}  // namespace
}  // namespace valvora
