// Parameters and programs through the dispatcher: names, display texts, the
// shared program bank and its store-and-reload on program changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "tests/support/PluginHost.h"

namespace {

using valvora::test::PluginHost;

const char* const factoryNames[16] = {"Default",  "Cold and Clean", "Smooth Clean", "Crunch",
                                      "Mild Overdrive", "Hard Rock", "Hi-Gain", "Authentic Solo",
                                      "Modern",   "Modern Scoop",   "Tube Shred",   "Default1",
                                      "Default2", "Default3",       "Default4",     "Default5"};

class Parameters : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(host.open(), nullptr) << host.loadError(); }
    std::string display(int index, float value)
    {
        host.setParameter(index, value);
        return host.text(effGetParamDisplay, index);
    }
    std::string programName()
    {
        char name[64];
        std::memset(name, 0x7f, sizeof(name));
        host.dispatch(effGetProgramName, 0, 0, name);
        EXPECT_EQ(name[24], '\0');
        return std::string(name, strnlen(name, 24));
    }
    PluginHost host{VALVORA_MODULE_PATH};
};

TEST_F(Parameters, NamesAreShortenedToEightCharacters)
{
    const char* expected[14] = {"Enable", "Channel",  "Normal V", "Drive Vo", "Gain",     "Bass",     "Middle",
                                "Treble", "Reverb",   "Channels", "Oversamp", "SpeakerS", "TubeMode", "SpeakerM"};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(host.text(effGetParamName, i), expected[i]) << i;
    EXPECT_EQ(host.text(effGetParamName, 14), "Unknown");
    EXPECT_EQ(host.text(effGetParamName, -1), "Unknown");
}

TEST_F(Parameters, NoParameterHasAUnitLabel)
{
    for (int i = -1; i <= 14; ++i) EXPECT_EQ(host.text(effGetParamLabel, i), "") << i;
}

TEST_F(Parameters, SwitchesShowTheirWordsAroundTheHalfWayPoint)
{
    EXPECT_EQ(display(0, 0.49f), "OFF");
    EXPECT_EQ(display(0, 0.5f), "ON");
    EXPECT_EQ(display(1, 1.0f), "DRIVE");
    EXPECT_EQ(display(1, 0.0f), "NORM");
    EXPECT_EQ(display(13, 1.0f), "2x12\"");
    EXPECT_EQ(display(13, 0.2f), "1x10\"");
    EXPECT_EQ(display(9, 0.3f), "1");
    EXPECT_EQ(display(9, 0.5f), "2");
    EXPECT_EQ(display(3, 0.33f), "0.33");
    EXPECT_EQ(display(8, 1.0f), "1.00");
}

TEST_F(Parameters, DisplayOfAnUnknownIndexLeavesTheBufferUntouched)
{
    char text[16];
    std::memset(text, 'x', sizeof(text));
    host.dispatch(effGetParamDisplay, 14, 0, text);
    for (char c : text) EXPECT_EQ(c, 'x');
}

TEST_F(Parameters, HostileValuesAreStoredAsGivenAndShownWithinEightBytes)
{
    const float hostile[] = {-1.0f, 2.0f, 123456.0f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    for (int index = 0; index < 14; ++index) {
        for (float v : hostile) {
            host.setParameter(index, v);
            const float back = host.getParameter(index);
            if (std::isnan(v))
                EXPECT_TRUE(std::isnan(back));
            else
                EXPECT_EQ(back, v);
            char text[32];
            std::memset(text, 'x', sizeof(text));
            host.dispatch(effGetParamDisplay, index, 0, text);
            EXPECT_LT(strnlen(text, sizeof(text)), 8u) << index << " " << v;
            for (std::size_t i = 8; i < sizeof(text); ++i) EXPECT_EQ(text[i], 'x');
        }
    }
    EXPECT_EQ(host.getParameter(14), 0.0f);
    EXPECT_EQ(host.getParameter(-3), 0.0f);
}

TEST_F(Parameters, ProgramZeroIsLoadedAtConstruction)
{
    const float defaults[14] = {1, 0, 0.4f, 0.33f, 0.2f, 0.5f, 0.2f, 0.9f, 0.5f, 1, 0, 1, 0, 0};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(host.getParameter(i), defaults[i]) << i;
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    EXPECT_EQ(programName(), "Default");
}

TEST_F(Parameters, ProgramsCarryTheirFactoryNamesAndValues)
{
    for (int p = 0; p < 16; ++p) {
        host.dispatch(effSetProgram, 0, p);
        EXPECT_EQ(host.dispatch(effGetProgram), p);
        EXPECT_EQ(programName(), factoryNames[p]);
    }
    host.dispatch(effSetProgram, 0, 6);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.8f);   // Hi-Gain's gain
    EXPECT_FLOAT_EQ(host.getParameter(3), 0.42f);  // and its drive volume
    host.dispatch(effSetProgram, 0, 0);
}

TEST_F(Parameters, OutOfRangeProgramNumbersAreIgnored)
{
    host.dispatch(effSetProgram, 0, 3);
    host.dispatch(effSetProgram, 0, 16);
    EXPECT_EQ(host.dispatch(effGetProgram), 3);
    host.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(host.dispatch(effGetProgram), 3);
    host.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(1) << 40);
    EXPECT_EQ(host.dispatch(effGetProgram), 3);
    host.dispatch(effSetProgram, 0, 0);
}

TEST_F(Parameters, EditsSurviveSwitchingAwayAndBack)
{
    host.dispatch(effSetProgram, 0, 3);
    const float original = host.getParameter(4);
    host.setParameter(4, 0.77f);
    host.dispatch(effSetProgram, 0, 3);  // the current program: no reload
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.77f);
    host.dispatch(effSetProgram, 0, 4);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.3f);
    host.dispatch(effSetProgram, 0, 3);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.77f);
    host.setParameter(4, original);
    host.dispatch(effSetProgram, 0, 0);
}

TEST_F(Parameters, ASecondInstanceSharesTheBank)
{
    host.dispatch(effSetProgram, 0, 12);
    char name[] = "Shared Across Instances";
    host.dispatch(effSetProgramName, 0, 0, name);
    host.setParameter(5, 0.123f);
    host.dispatch(effSetProgram, 0, 0);  // stores program 12's edits

    PluginHost second(VALVORA_MODULE_PATH);
    ASSERT_NE(second.open(), nullptr);
    second.dispatch(effSetProgram, 0, 12);
    EXPECT_FLOAT_EQ(second.getParameter(5), 0.123f);
    EXPECT_EQ(second.text(effGetProgramName), "Shared Across Instances");

    // Restore the factory program for other tests in this process.
    second.setParameter(5, 0.5f);
    char original[] = "Default2";
    second.dispatch(effSetProgramName, 0, 0, original);
    second.dispatch(effSetProgram, 0, 0);
}

TEST_F(Parameters, ProgramNamesAreCutAtTwentyFourCharacters)
{
    host.dispatch(effSetProgram, 0, 15);
    char longName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    host.dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(programName(), "ABCDEFGHIJKLMNOPQRSTUVWX");
    char shortName[] = "Mine";
    host.dispatch(effSetProgramName, 0, 0, shortName);
    EXPECT_EQ(programName(), "Mine");
    char original[] = "Default5";
    host.dispatch(effSetProgramName, 0, 0, original);
    host.dispatch(effSetProgram, 0, 0);
}

}  // namespace
