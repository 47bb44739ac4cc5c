// The plug-in's description as a host reads it through lilv, checked against
// what the VST module answers for the same parameters and programs: the two
// formats must offer the same controls, defaults, texts and programs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/PluginHost.h"

namespace {

using valvora::test::Lv2Instance;
using valvora::test::Lv2World;
using valvora::test::PluginHost;

constexpr int controlCount = 14;
constexpr int firstControl = 4;
const char* const parameterNames[controlCount] = {
    "Enable", "Channel", "Normal Vol", "Drive Volume", "Gain",       "Bass",     "Middle",
    "Treble", "Reverb",  "Channels",   "Oversample",   "SpeakerSim", "TubeMode", "SpeakerMode"};
const int switchParameters[] = {0, 1, 10, 11, 12, 13};
constexpr int channelsParameter = 9;

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Lv2Description : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(world.plugin(), nullptr);
        ASSERT_NE(vst.open(), nullptr) << vst.loadError();
    }
    const LilvPort* port(int index) const { return lilv_plugin_get_port_by_index(world.plugin(), index); }
    bool portIs(int index, const char* classUri) const
    {
        LilvNode* node = lilv_new_uri(world.world(), classUri);
        const bool is = lilv_port_is_a(world.plugin(), port(index), node);
        lilv_node_free(node);
        return is;
    }
    bool hasProperty(int index, const char* propertyUri) const
    {
        LilvNode* node = lilv_new_uri(world.world(), propertyUri);
        const bool has = lilv_port_has_property(world.plugin(), port(index), node);
        lilv_node_free(node);
        return has;
    }
    std::string portName(int index) const
    {
        LilvNode* name = lilv_port_get_name(world.plugin(), port(index));
        std::string text = name ? lilv_node_as_string(name) : "";
        lilv_node_free(name);
        return text;
    }
    // (label, value) of each scale point, in value order.
    std::vector<std::pair<std::string, float>> scalePoints(int index) const
    {
        std::vector<std::pair<std::string, float>> out;
        LilvScalePoints* points = lilv_port_get_scale_points(world.plugin(), port(index));
        if (!points) return out;
        LILV_FOREACH(scale_points, i, points)
        {
            const LilvScalePoint* p = lilv_scale_points_get(points, i);
            out.emplace_back(lilv_node_as_string(lilv_scale_point_get_label(p)),
                             lilv_node_as_float(lilv_scale_point_get_value(p)));
        }
        lilv_scale_points_free(points);
        std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.second < b.second; });
        return out;
    }
    std::string vstDisplay(int parameter, float value)
    {
        vst.setParameter(parameter, value);
        return vst.text(effGetParamDisplay, parameter);
    }

    Lv2World world{VALVORA_LV2_BUNDLE, VALVORA_LV2_URI};
    PluginHost vst{VALVORA_MODULE_PATH};
};

TEST_F(Lv2Description, hasTwoAudioInputsTwoAudioOutputsAndAControlInputPerParameterWithItsFullName)
{
    ASSERT_EQ(lilv_plugin_get_num_ports(world.plugin()), 18u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(portIs(i, LV2_CORE__AudioPort)) << i;
        EXPECT_TRUE(portIs(i, i < 2 ? LV2_CORE__InputPort : LV2_CORE__OutputPort)) << i;
    }
    for (int p = 0; p < controlCount; ++p) {
        EXPECT_TRUE(portIs(firstControl + p, LV2_CORE__ControlPort)) << p;
        EXPECT_TRUE(portIs(firstControl + p, LV2_CORE__InputPort)) << p;
        EXPECT_EQ(portName(firstControl + p), parameterNames[p]);
        // The VST host sees the same name, cut to its 8-character limit.
        EXPECT_EQ(vst.text(effGetParamName, p), std::string(parameterNames[p]).substr(0, 8));
    }
}

TEST_F(Lv2Description, everyControlRangesFromZeroToOneAndDefaultsToTheVstModulesInitialValue)
{
    float minimum[18], maximum[18], initial[18];
    lilv_plugin_get_port_ranges_float(world.plugin(), minimum, maximum, initial);
    for (int p = 0; p < controlCount; ++p) {
        EXPECT_EQ(minimum[firstControl + p], 0.0f) << parameterNames[p];
        EXPECT_EQ(maximum[firstControl + p], 1.0f) << parameterNames[p];
        // A freshly opened VST instance holds program 0.
        EXPECT_TRUE(sameBits(initial[firstControl + p], vst.getParameter(p)))
            << parameterNames[p] << ": " << initial[firstControl + p] << " vs " << vst.getParameter(p);
    }
}

TEST_F(Lv2Description, switchesAreTogglesLabelledWithTheVstDisplayTexts)
{
    for (int p : switchParameters) {
        EXPECT_TRUE(hasProperty(firstControl + p, LV2_CORE__toggled)) << parameterNames[p];
        const auto points = scalePoints(firstControl + p);
        ASSERT_EQ(points.size(), 2u) << parameterNames[p];
        EXPECT_EQ(points[0].second, 0.0f);
        EXPECT_EQ(points[0].first, vstDisplay(p, 0.0f)) << parameterNames[p];
        EXPECT_EQ(points[1].second, 1.0f);
        EXPECT_EQ(points[1].first, vstDisplay(p, 1.0f)) << parameterNames[p];
    }
    EXPECT_EQ(scalePoints(firstControl + 13)[1].first, "2x12\"");
}

TEST_F(Lv2Description, channelsIsAnEnumerationOfOneAndTwoAndTheKnobsAreContinuous)
{
    const int channels = firstControl + channelsParameter;
    EXPECT_TRUE(hasProperty(channels, LV2_CORE__enumeration));
    EXPECT_FALSE(hasProperty(channels, LV2_CORE__toggled));
    const auto points = scalePoints(channels);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], std::make_pair(std::string("1"), 0.0f));
    EXPECT_EQ(points[1], std::make_pair(std::string("2"), 1.0f));
    for (int p = 2; p <= 8; ++p) {
        EXPECT_FALSE(hasProperty(firstControl + p, LV2_CORE__toggled)) << parameterNames[p];
        EXPECT_FALSE(hasProperty(firstControl + p, LV2_CORE__enumeration)) << parameterNames[p];
        EXPECT_TRUE(scalePoints(firstControl + p).empty()) << parameterNames[p];
    }
}

TEST_F(Lv2Description, isRealTimeCapableWithoutLatencyAndRequiresNoFeature)
{
    LilvNodes* required = lilv_plugin_get_required_features(world.plugin());
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);
    LilvNodes* optional = lilv_plugin_get_optional_features(world.plugin());
    LilvNode* hardRt = lilv_new_uri(world.world(), LV2_CORE__hardRTCapable);
    EXPECT_TRUE(lilv_nodes_contains(optional, hardRt));
    lilv_node_free(hardRt);
    lilv_nodes_free(optional);
    EXPECT_FALSE(lilv_plugin_has_latency(world.plugin()));
}

TEST_F(Lv2Description, presetsAreTheVstModulesSixteenProgramsByNameAndValueBitForBit)
{
    const auto presets = world.presets();
    ASSERT_EQ(presets.size(), 16u);
    Lv2Instance instance(world, 48000.0);
    ASSERT_TRUE(instance.ok());
    for (int program = 0; program < 16; ++program) {
        vst.dispatch(effSetProgram, 0, program);
        EXPECT_EQ(world.presetLabel(presets[program]), vst.text(effGetProgramName)) << program;
        // Start from values no program holds, so every port must be written.
        for (int p = 0; p < controlCount; ++p) instance.setControl(p, -3.0f);
        ASSERT_TRUE(instance.applyPreset(presets[program])) << program;
        for (int p = 0; p < controlCount; ++p) {
            EXPECT_TRUE(sameBits(instance.control(p), vst.getParameter(p)))
                << "program " << program << ", " << parameterNames[p] << ": " << instance.control(p) << " vs "
                << vst.getParameter(p);
        }
    }
}

}  // namespace
