// The editor's poll: which values go to the host, which come from it, and
// the lamp and button rules; plus the facts of the control layout.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "core/Parameters.h"
#include "editor/EditorLayout.h"
#include "editor/EditorSync.h"
#include "editor/EditorSyncTarget.h"
#include "plugin/AudioEffect.h"

using valvora::ControlKind;
using valvora::DialValue;
using valvora::EditorLayout;
using valvora::ParameterInfo;
using valvora::ParameterKind;
using valvora::EditorSync;

namespace {

// A plug-in with 14 plain parameters that records what the host is told.
class FakeEffect : public AudioEffect {
public:
    FakeEffect() : AudioEffect(&hostCallback, 1, 14) { cEffect.user = this; }
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override { params[static_cast<std::size_t>(index)] = value; }
    float getParameter(VstInt32 index) override { return params[static_cast<std::size_t>(index)]; }

    std::array<float, 14> params{};
    std::vector<std::pair<int, float>> automated;

private:
    static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
    {
        if (effect && opcode == audioMasterAutomate)
            static_cast<FakeEffect*>(effect->user)->automated.emplace_back(index, opt);
        return 1;
    }
};

// Controls as plain records; a repaint request paints at once, as a visible
// window does before the next timer tick.
class FakeControls : public valvora::EditorSyncTarget {
public:
    DialValue& knob(int entry) override { return dials[static_cast<std::size_t>(entry)]; }
    void repaintKnob(int entry) override
    {
        repaints.push_back(entry);
        if (paintsAtOnce) knob(entry).markPainted();
    }
    int buttonState(int entry) override { return buttons[static_cast<std::size_t>(entry)]; }
    void setButtonState(int entry, int state) override
    {
        buttons[static_cast<std::size_t>(entry)] = state;
        buttonWrites.push_back(entry);
    }

    std::array<DialValue, 7> dials{};
    std::array<int, 17> buttons{};
    std::vector<int> repaints;
    std::vector<int> buttonWrites;
    bool paintsAtOnce = true;
};

constexpr int kGain = 4;

}  // namespace

TEST(EditorSyncPass, anUnmovedKnobFollowsTheHost)
{
    FakeEffect fx;
    FakeControls ui;
    fx.params[kGain] = 0.507f;
    EditorSync::run(fx, ui);
    EXPECT_EQ(ui.dials[0].value(), 51);  // entry 0 is Gain
    EXPECT_EQ(ui.repaints, std::vector<int>{0});
    EXPECT_TRUE(fx.automated.empty());
    // Once painted, the next poll writes nothing back and repaints nothing.
    ui.repaints.clear();
    EditorSync::run(fx, ui);
    EXPECT_TRUE(fx.automated.empty());
    EXPECT_TRUE(ui.repaints.empty());
    EXPECT_FLOAT_EQ(fx.params[kGain], 0.507f);
}

TEST(EditorSyncPass, aMovedKnobIsWrittenToTheHostAsHundredths)
{
    FakeEffect fx;
    FakeControls ui;
    EditorSync::run(fx, ui);
    ui.dials[5].setValue(73);  // the user turns Treble (parameter 7)
    EditorSync::run(fx, ui);
    ASSERT_EQ(fx.automated.size(), 1u);
    EXPECT_EQ(fx.automated[0].first, 7);
    EXPECT_EQ(fx.automated[0].second, 73.0f * 0.01f);
    EXPECT_EQ(fx.params[7], 73.0f * 0.01f);
    EXPECT_EQ(ui.dials[5].value(), 73);
    EditorSync::run(fx, ui);  // reported once only
    EXPECT_EQ(fx.automated.size(), 1u);
}

TEST(EditorSyncPass, anUnpaintedHostChangeIsNotEchoedBack)
{
    // A hidden or minimised editor never paints; the host's own value must
    // still not come back to it rounded to hundredths as a user's move.
    FakeEffect fx;
    FakeControls ui;
    ui.paintsAtOnce = false;
    fx.params[kGain] = 0.507f;
    for (int i = 0; i < 3; ++i) EditorSync::run(fx, ui);
    EXPECT_TRUE(fx.automated.empty());
    EXPECT_FLOAT_EQ(fx.params[kGain], 0.507f);
    EXPECT_EQ(ui.dials[0].value(), 51);
}

TEST(EditorSyncPass, knobPositionsRoundAndClamp)
{
    EXPECT_EQ(EditorSync::knobPosition(0.507f), 51);
    EXPECT_EQ(EditorSync::knobPosition(0.504f), 50);
    EXPECT_EQ(EditorSync::knobPosition(1.0f), 100);
    EXPECT_EQ(EditorSync::knobPosition(3.5f), 100);
    EXPECT_EQ(EditorSync::knobPosition(-0.2f), 0);
    EXPECT_EQ(EditorSync::knobPosition(std::nanf("")), 0);
    EXPECT_EQ(EditorSync::knobPosition(INFINITY), 100);
}

TEST(EditorSyncPass, buttonsAreLitFromHalfUp)
{
    FakeEffect fx;
    FakeControls ui;
    fx.params[10] = 0.5f;   // Oversample -> button 8
    fx.params[9] = 0.49f;   // Channels -> button 9
    fx.params[11] = 1.0f;   // SpeakerSim -> button 12
    fx.params[12] = 0.75f;  // TubeMode -> button 15
    fx.params[13] = std::nanf("");  // SpeakerMode -> button 16
    EditorSync::run(fx, ui);
    EXPECT_EQ(ui.buttons[8], 1);
    EXPECT_EQ(ui.buttons[9], 0);
    EXPECT_EQ(ui.buttons[12], 1);
    EXPECT_EQ(ui.buttons[15], 1);
    EXPECT_EQ(ui.buttons[16], 0);
    // Only buttons whose state differs are touched (setting repaints).
    ui.buttonWrites.clear();
    EditorSync::run(fx, ui);
    EXPECT_TRUE(ui.buttonWrites.empty());
}

TEST(EditorSyncPass, theLampShowsDriveAndPowerTogether)
{
    struct Case {
        float channel, enable;
        int drive, power, lamp;
    };
    for (Case c : {Case{0.5f, 0.5f, 1, 1, 1}, Case{0.5f, 0.49f, 1, 0, 0}, Case{0.49f, 1.0f, 0, 1, 0},
                   Case{0.0f, 0.0f, 0, 0, 0}}) {
        FakeEffect fx;
        FakeControls ui;
        fx.params[1] = c.channel;
        fx.params[0] = c.enable;
        EditorSync::run(fx, ui);
        EXPECT_EQ(ui.buttons[13], c.drive);
        EXPECT_EQ(ui.buttons[7], c.power);
        EXPECT_EQ(ui.buttons[14], c.lamp);
    }
}

TEST(EditorLayoutTable, knobsAndButtonsSitWhereThePanelPrintsThem)
{
    std::set<int> parameters;
    for (int e = 0; e < EditorLayout::kControlCount; ++e) {
        const auto& p = EditorLayout::entry(e);
        EXPECT_EQ(p.kind, e < 7 ? ControlKind::knob : ControlKind::button) << e;
        EXPECT_LE(p.x + p.frameWidth, EditorLayout::kPanelWidth) << e;
        EXPECT_LE(p.y + p.frameHeight, EditorLayout::kPanelHeight) << e;
        if (p.parameter >= 0) {
            EXPECT_TRUE(parameters.insert(p.parameter).second) << "shared parameter " << e;
        }
    }
    EXPECT_EQ(parameters.size(), 14u);  // every parameter has exactly one control
    EXPECT_EQ(EditorLayout::entry(0).x, 171);
    EXPECT_EQ(EditorLayout::entry(0).parameter, 4);
    EXPECT_EQ(EditorLayout::entry(14).controlId, 0);
}

// A knob on a switch would write in-between values the sound reads as a
// threshold; a button on a continuous parameter would jump it to 0 or 1.
TEST(EditorLayoutTable, knobsDriveContinuousParametersAndButtonsSwitches)
{
    for (int e = 0; e < EditorLayout::kControlCount; ++e) {
        const auto& p = EditorLayout::entry(e);
        if (p.parameter < 0) continue;
        const ParameterInfo* info = valvora::parameterInfo(p.parameter);
        ASSERT_NE(info, nullptr) << e;
        if (p.kind == ControlKind::knob)
            EXPECT_EQ(info->kind, ParameterKind::Continuous) << info->name;
        else
            EXPECT_NE(info->kind, ParameterKind::Continuous) << info->name;
    }
}

TEST(EditorLayoutTable, creationOrdersCoverEveryControlOnce)
{
    std::set<int> seen;
    for (int e : EditorLayout::knobCreationOrder()) seen.insert(e);
    for (int e : EditorLayout::buttonCreationOrder()) seen.insert(e);
    EXPECT_EQ(seen.size(), 17u);
    EXPECT_EQ(EditorLayout::knobCreationOrder()[0], 1);
    EXPECT_EQ(EditorLayout::buttonCreationOrder()[0], 13);
}

TEST(EditorLayoutTable, buttonClicksMapToTheirParameters)
{
    EXPECT_EQ(EditorLayout::parameterForControlId(7), 0);
    EXPECT_EQ(EditorLayout::parameterForControlId(8), 10);
    EXPECT_EQ(EditorLayout::parameterForControlId(9), 9);
    EXPECT_EQ(EditorLayout::parameterForControlId(12), 11);
    EXPECT_EQ(EditorLayout::parameterForControlId(13), 1);
    EXPECT_EQ(EditorLayout::parameterForControlId(15), 12);
    EXPECT_EQ(EditorLayout::parameterForControlId(16), 13);
    for (int id : {0, 10, 11, 14, 17, -1}) EXPECT_EQ(EditorLayout::parameterForControlId(id), -1) << id;
}

TEST(EditorLayoutTable, theAboutViewKeepsOnlyTheTopRowOptionButtons)
{
    for (int e = 0; e < EditorLayout::kControlCount; ++e)
        EXPECT_EQ(EditorLayout::shownInAboutView(e), e >= 8 && e <= 12) << e;
}
