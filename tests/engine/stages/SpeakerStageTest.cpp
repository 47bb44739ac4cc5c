#include "engine/stages/SpeakerStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "resources/ir/ImpulseResponses.h"

namespace valvora {
namespace {

using Family = SpeakerStage::Family;

std::vector<double> impulseResponse(SpeakerStage& s, int channel, int n)
{
    std::vector<double> y(n);
    for (int t = 0; t < n; ++t) {
        double x = t == 0 ? 1.0 : 0.0;
        s.process(x, channel);
        y[t] = x;
    }
    return y;
}

void expectTable(const std::vector<double>& y, const float* table)
{
    for (int t = 0; t < ir::cabinetLength; ++t) ASSERT_NEAR(y[t], table[t], 2e-6) << t;
    for (std::size_t t = ir::cabinetLength; t < y.size(); ++t) ASSERT_NEAR(y[t], 0.0, 1e-6) << t;
}

TEST(SpeakerStageRates, commonRatesPlayTheResponseAtItsOwnRateAndOthersUseTheThreshold)
{
    struct Case {
        double rate;
        int factor;
        Family family;
    };
    const Case cases[] = {
        {44100, 1, Family::rate44k},  {48000, 1, Family::rate48k},  {88200, 2, Family::rate44k},
        {96000, 2, Family::rate48k},  {176400, 4, Family::rate44k}, {192000, 4, Family::rate48k},
        {11025, 1, Family::rate44k},  {199999, 4, Family::rate48k}, {46050, 1, Family::rate44k},
        {46051, 1, Family::rate48k},  {79999, 1, Family::rate48k},  {80000, 2, Family::rate44k},
        {160000, 4, Family::rate44k}, {92100, 2, Family::rate44k},  {92104, 2, Family::rate48k}};
    SpeakerStage s;
    EXPECT_EQ(s.factor(), 1);
    EXPECT_EQ(s.loadedSet(), Family::rate44k);
    for (const Case& c : cases) {
        s.setPeriod(1.0 / c.rate);
        EXPECT_EQ(s.factor(), c.factor) << c.rate;
        EXPECT_EQ(s.loadedSet(), c.family) << c.rate;
    }
}

TEST(SpeakerStageRates, aSecondPeriodInTheSameFamilyReloadsNothingAndKeepsTheHistory)
{
    SpeakerStage s;
    const unsigned loads = s.loadCount();
    std::vector<double> y(2000);
    for (int t = 0; t < 2000; ++t) {
        if (t == 300) s.setPeriod(1.0 / 44100.0);
        if (t == 600) s.setPeriod(1.0 / 44000.0);
        double x = t == 0 ? 1.0 : 0.0;
        s.process(x, 0);
        y[t] = x;
    }
    EXPECT_EQ(s.loadCount(), loads);
    expectTable(y, ir::cabinet1x10At44k);
    s.setPeriod(1.0 / 48000.0);
    EXPECT_EQ(s.loadCount(), loads + 1);
    s.setPeriod(1.0 / 96000.0);
    EXPECT_EQ(s.loadCount(), loads + 1);
}

TEST(SpeakerStageLatency, atFactorOneAnImpulseGivesTheTableFromTheSameSample)
{
    SpeakerStage s;
    expectTable(impulseResponse(s, 0, 1500), ir::cabinet1x10At44k);
    s.setCabinet(true);
    expectTable(impulseResponse(s, 1, 1500), ir::cabinet2x12At44k);
    s.setPeriod(1.0 / 48000.0);
    expectTable(impulseResponse(s, 0, 1500), ir::cabinet2x12At48k);
    s.setCabinet(false);
    expectTable(impulseResponse(s, 1, 1500), ir::cabinet1x10At48k);
}

TEST(SpeakerStageCabinets, switchingCabinetsReloadsNothingAndEachResumesItsOwnHistory)
{
    SpeakerStage s;
    const unsigned loads = s.loadCount();
    // Start an impulse in cabinet 0, switch to cabinet 1 for a while, come back.
    std::vector<double> y;
    for (int t = 0; t < 100; ++t) {
        double x = t == 0 ? 1.0 : 0.0;
        s.process(x, 0);
        y.push_back(x);
    }
    s.setCabinet(true);
    EXPECT_TRUE(s.cabinet());
    for (int t = 0; t < 500; ++t) {
        double x = 0.0;
        s.process(x, 0);
        ASSERT_NEAR(x, 0.0, 1e-6) << "the other cabinet has heard nothing";
    }
    s.setCabinet(false);
    for (int t = 100; t < 1100; ++t) {
        double x = 0.0;
        s.process(x, 0);
        y.push_back(x);
    }
    EXPECT_EQ(s.loadCount(), loads);
    expectTable(y, ir::cabinet1x10At44k);
}

TEST(SpeakerStageRates, higherRatesStillShapeTheSignalLikeTheCabinet)
{
    // At 96 kHz an impulse goes down by 2, through table 4 and back up: the
    // response's energy is that of the table at its own rate, within the
    // converters' band limit.
    SpeakerStage s;
    s.setCabinet(true);
    s.setPeriod(1.0 / 96000.0);
    const auto y = impulseResponse(s, 0, 4000);
    double energy = 0.0, tableEnergy = 0.0;
    for (double v : y) energy += v * v;
    for (int t = 0; t < ir::cabinetLength; ++t)
        tableEnergy += double(ir::cabinet2x12At48k[t]) * ir::cabinet2x12At48k[t];
    EXPECT_NEAR(energy, 0.5 * tableEnergy, 0.15 * tableEnergy);  // one sample in two carries the impulse
}

TEST(SpeakerStageBlocks, aShrinkingFactorBringsTheBlockPositionBackIntoRange)
{
    SpeakerStage s;
    s.setPeriod(1.0 / 192000.0);
    for (int t = 0; t < 3; ++t) {
        double x = 0.5;
        s.process(x, 0);
    }
    s.setPeriod(1.0 / 88200.0);
    s.setPeriod(1.0 / 44100.0);
    // Flush the earlier input through the cabinet, then the impulse must
    // come out undelayed.
    for (int t = 0; t < 3000; ++t) {
        double x = 0.0;
        s.process(x, 0);
    }
    expectTable(impulseResponse(s, 0, 1100), ir::cabinet1x10At44k);
}

TEST(SpeakerStageInput, nanAndInfinitiesAreSilencedAndNothingPoisonsTheHistory)
{
    SpeakerStage s;
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1e300, -1e300};
    for (double b : bad) {
        double x = b;
        s.process(x, 0);
        EXPECT_TRUE(std::isfinite(x));
    }
    for (int t = 0; t < 3000; ++t) {
        double x = 0.0;
        s.process(x, 0);
        ASSERT_TRUE(std::isfinite(x)) << t;
    }
    double x = 0.0;
    s.process(x, 0);
    EXPECT_NEAR(x, 0.0, 1e-6);
}

}  // namespace
}  // namespace valvora
