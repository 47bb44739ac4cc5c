// How the engine turns parameter values into settings: the control tapers,
// the limits, the derived gains and which coefficient groups each setter
// marks for recomputation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/AmpEngine.h"
#include "engine/ControlTaper.h"

namespace {

using valvora::AmpEngine;
namespace tapers = valvora::tapers;

TEST(ControlTapers, EndPointsAreTheTablesFirstAndLastPoints)
{
    EXPECT_EQ(tapers::gain(0.0), 0.005);
    EXPECT_EQ(tapers::gain(1.0), 1.0);
    EXPECT_EQ(tapers::normalVolume(0.0), 0.0001);
    EXPECT_EQ(tapers::normalVolume(1.0), 0.99);
    EXPECT_EQ(tapers::driveVolume(1.0), -1.0);
    EXPECT_EQ(tapers::bass(1.0), 1.0);
    EXPECT_EQ(tapers::middle(0.0), 0.0);
    EXPECT_EQ(tapers::treble(1.0), 1.0);
}

TEST(ControlTapers, HalfwayBetweenPointsInterpolatesLinearly)
{
    EXPECT_DOUBLE_EQ(tapers::bass(0.05), 0.041012658 / 2);
    EXPECT_DOUBLE_EQ(tapers::gain(0.525), (0.490406584 + 0.575076388) / 2);
    EXPECT_DOUBLE_EQ(tapers::normalVolume(0.5), 0.033958547);
    // A fraction of a millionth or less takes the point itself.
    EXPECT_EQ(tapers::treble(0.6 + 1e-8), tapers::treble.point(6));
}

TEST(ControlTapers, ValuesOutsideTheRangeAreClampedNotIndexedPast)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(tapers::gain(-0.5), 0.005);
    EXPECT_EQ(tapers::gain(nan), 0.005);
    EXPECT_EQ(tapers::gain(-inf), 0.005);
    EXPECT_EQ(tapers::gain(7.0), 1.0);
    EXPECT_EQ(tapers::gain(inf), 1.0);
    EXPECT_EQ(tapers::driveVolume(1e30), -1.0);
    EXPECT_EQ(tapers::middle(nan), 0.0);
}

class EngineSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engine.dirtyFlags(), 0u) << "construction ends with an update"; }
    AmpEngine engine;
};

TEST_F(EngineSettings, ConstructionAppliesTheDocumentedDefaults)
{
    EXPECT_TRUE(engine.isEnabled());
    EXPECT_FALSE(engine.isDriveChannel());
    EXPECT_FALSE(engine.isOversampling());
    EXPECT_FALSE(engine.isTubeMode());
    EXPECT_DOUBLE_EQ(engine.samplePeriod(), 1.0 / 44100.0);
    EXPECT_EQ(engine.normalVolumeValue(), 0.033958547);
    EXPECT_EQ(engine.driveVolumeGainValue(), -0.159506);
    EXPECT_EQ(engine.gainSettingValue(), 0.2);
    EXPECT_EQ(engine.reverbStage().level(), 0.0f);
}

TEST_F(EngineSettings, NormalVolumeSetsItsTaperAndTheDerivedOutputGain)
{
    engine.setNormalVolume(0.5);
    EXPECT_EQ(engine.normalVolumeValue(), 0.033958547);
    EXPECT_EQ(engine.dirtyFlags(), unsigned(AmpEngine::dirtyNormalVolume));
    engine.update();
    const double v = 0.033958547;
    EXPECT_DOUBLE_EQ(engine.normalGainValue(), v * 15.193370165745856 / (v * 50 + 2.2));
}

TEST_F(EngineSettings, LimitsApplyBeforeTheTaper)
{
    engine.setMiddle(1.0);
    EXPECT_EQ(engine.middleValue(), 0.99);
    engine.setDriveVolume(1.0);
    EXPECT_EQ(engine.driveVolumeGainValue(), -1.0);
    engine.setDriveVolume(3.0);
    EXPECT_EQ(engine.driveVolumeGainValue(), -1.0);
    engine.setGain(0.0);
    EXPECT_EQ(tapers::gain(engine.gainSettingValue()), 0.005);
}

TEST_F(EngineSettings, PlainStoresLeaveEveryGroupClean)
{
    engine.setEnabled(false);
    engine.setDriveChannel(true);
    engine.setDriveVolume(0.7);
    engine.setSpeakerSim(true);
    engine.setSpeakerMode(true);
    engine.setReverb(0.4);
    EXPECT_EQ(engine.dirtyFlags(), 0u);
    EXPECT_FLOAT_EQ(engine.reverbStage().level(), 0.4f);
}

TEST_F(EngineSettings, EachKnobMarksOnlyItsOwnGroup)
{
    engine.setGain(0.3);
    EXPECT_EQ(engine.dirtyFlags(), unsigned(AmpEngine::dirtyGain));
    engine.update();
    for (auto set : {&AmpEngine::setBass, &AmpEngine::setMiddle, &AmpEngine::setTreble}) {
        (engine.*set)(0.3);
        EXPECT_EQ(engine.dirtyFlags(), unsigned(AmpEngine::dirtyTone));
        engine.update();
    }
}

TEST_F(EngineSettings, SettingTubeModeToItsCurrentValueRecomputesNothing)
{
    const auto before = engine.updateCounts();
    engine.setTubeMode(false);
    EXPECT_EQ(engine.dirtyFlags(), 0u);
    engine.setTubeMode(true);
    EXPECT_EQ(engine.dirtyFlags(), unsigned(AmpEngine::dirtyGain | AmpEngine::dirtyTone));
    engine.update();
    const auto after = engine.updateCounts();
    EXPECT_EQ(after.gain, before.gain + 1);
    EXPECT_EQ(after.tone, before.tone + 1);
    EXPECT_EQ(after.normalVolume, before.normalVolume) << "the normal stage's network is not recomputed";
    EXPECT_EQ(after.rate, before.rate);
}

TEST_F(EngineSettings, RateAndOversamplingChangesRecomputeEveryGroup)
{
    for (int step = 0; step < 2; ++step) {
        const auto before = engine.updateCounts();
        if (step == 0)
            engine.setRate(48000.0);
        else
            engine.setOversampling(true);
        EXPECT_EQ(engine.dirtyFlags(), unsigned(AmpEngine::dirtyAll));
        engine.update();
        const auto after = engine.updateCounts();
        EXPECT_EQ(after.rate, before.rate + 1);
        EXPECT_EQ(after.normalVolume, before.normalVolume + 1);
        EXPECT_EQ(after.gain, before.gain + 1);
        EXPECT_EQ(after.tone, before.tone + 1);
    }
    EXPECT_DOUBLE_EQ(engine.samplePeriod(), 1.0 / 48000.0);
    EXPECT_DOUBLE_EQ(engine.preampPeriod(), 1.0 / 48000.0 / 8.0);
}

}  // namespace
