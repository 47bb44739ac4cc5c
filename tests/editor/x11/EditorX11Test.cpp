// The Linux module's editor inside a host's X11 window, through the module's
// real entry point and dispatcher, under Xvfb: the child window and its size,
// clicks and drags reaching the host as automation, the poll following the
// host, the about view, repeated and doubled opening, a host that destroys
// its window first, a host that never calls idle. Any X error fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/Threading.h"
#include "tests/editor/x11/X11TestHost.h"
#include "tests/support/PluginHost.h"

namespace {

using valvora::test::Capture;
using valvora::test::PluginHost;
using valvora::test::X11TestHost;
using namespace std::chrono_literals;

constexpr int kPanelWidth = 689;
constexpr int kPanelHeight = 140;

struct Place {
    int x, y, w, h;
    int cx() const { return x + w / 2; }
    int cy() const { return y + h / 2; }
};
// Knobs (Gain, Normal Vol, Drive Volume, Bass, Middle, Treble, Reverb), then
// the buttons in entry order 7..16.
const Place kKnobs[] = {{171, 58, 57, 57}, {89, 58, 57, 57},  {248, 58, 57, 57}, {461, 58, 57, 57},
                        {396, 58, 57, 57}, {330, 58, 57, 57}, {541, 58, 57, 57}};
const Place kButtons[] = {{639, 64, 32, 45}, {379, 0, 40, 32}, {419, 0, 40, 32},  {339, 0, 40, 32},
                          {299, 0, 40, 32},  {461, 0, 30, 32}, {228, 86, 20, 20}, {300, 98, 29, 29},
                          {35, 72, 30, 29},  {491, 0, 68, 32}};
const Place kGain = kKnobs[0];
const Place kOversample = kButtons[1], kUpdate = kButtons[3], kAbout = kButtons[4], kSpeaker = kButtons[5],
            kLamp = kButtons[7];
// The lamp's bottom right, clear of the Drive Volume knob it overlaps.
constexpr int kLampX = 320, kLampY = 120;

std::vector<valvora::test::HostCall> automations(PluginHost& host)
{
    std::vector<valvora::test::HostCall> out;
    for (const auto& c : host.calls())
        if (c.opcode == audioMasterAutomate) out.push_back(c);
    return out;
}

class EditorX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(x.display(), nullptr) << "no X display (DISPLAY unset?)";
        ASSERT_TRUE(host.loaded()) << host.loadError();
        ASSERT_NE(host.open(), nullptr);
        parent = x.createTopLevel();
        ASSERT_NE(parent, 0u);
        X11TestHost::takeErrorCount();
    }
    void TearDown() override
    {
        host.close();
        if (parent) x.destroy(parent);
        EXPECT_EQ(X11TestHost::takeErrorCount(), 0) << "X errors";
    }
    Window openEditor(PluginHost& h, Window in)
    {
        if (h.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(in)) != 1) return 0;
        x.sync();
        return x.editorIn(in);
    }
    Window openEditor() { return openEditor(host, parent); }
    // One host idle: the editor takes its events, polls and paints.
    void idle(PluginHost& h)
    {
        x.sync();
        h.dispatch(effEditIdle);
        x.sync();
    }
    void idle() { idle(host); }
    Capture capture(Window editor)
    {
        idle();
        return x.capture(editor);
    }

    X11TestHost x;
    PluginHost host{VALVORA_MODULE_PATH};
    Window parent = 0;
};

}  // namespace

TEST_F(EditorX11, flagsShowTheAttachedEditorAndItsRectIsThePanel)
{
    EXPECT_EQ(host.effect()->flags, 4113);
    ERect* rect = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, kPanelHeight);
    EXPECT_EQ(rect->right, kPanelWidth);
}

TEST_F(EditorX11, openingMakesAChildOfTheHostWindowAtThePanelSize)
{
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);  // no parent, no editor
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(x.display(), editor, &a));
    EXPECT_EQ(a.width, kPanelWidth);
    EXPECT_EQ(a.height, kPanelHeight);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.map_state, IsViewable);
    Window root = 0, up = 0;
    Window* list = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(x.display(), editor, &root, &up, &list, &count));
    if (list) XFree(list);
    EXPECT_EQ(up, parent);
    // The panel is painted at once: not the parent's white, not black.
    const Capture shown = x.capture(editor);
    long lit = 0;
    for (std::uint8_t v : shown.rgb) lit += v;
    EXPECT_GT(lit, 1000L * kPanelWidth);
    EXPECT_LT(lit, 200L * 3 * kPanelWidth * kPanelHeight);
}

TEST_F(EditorX11, aParentThatIsNoWindowGivesNoEditorAndNoError)
{
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(std::uintptr_t{0x1fffffff})), 0);
    EXPECT_EQ(X11TestHost::takeErrorCount(), 0);
    EXPECT_NE(openEditor(), 0u);  // and a real one still works afterwards
}

TEST_F(EditorX11, buttonClicksSetTheirParameterAndTellTheHost)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    idle();
    struct Case {
        Place place;
        int parameter;
    };
    const Case cases[] = {{kButtons[0], 0}, {kButtons[1], 10}, {kButtons[2], 9}, {kButtons[5], 11},
                          {kButtons[6], 1}, {kButtons[8], 12}, {kButtons[9], 13}};
    for (const Case& c : cases) {
        const float before = host.getParameter(c.parameter);
        const float expected = before >= 0.5f ? 0.0f : 1.0f;  // a click toggles
        host.clearCalls();
        x.click(editor, c.place.cx(), c.place.cy());
        idle();
        const auto calls = automations(host);
        ASSERT_EQ(calls.size(), 1u) << "parameter " << c.parameter;
        EXPECT_EQ(calls[0].index, c.parameter);
        EXPECT_EQ(calls[0].opt, expected);
        EXPECT_EQ(host.getParameter(c.parameter), expected);
        // The poll agrees with the click: nothing more is sent.
        host.clearCalls();
        idle();
        idle();
        EXPECT_TRUE(automations(host).empty());
    }
}

TEST_F(EditorX11, theDriveLampIgnoresClicksAndShowsDriveAndPower)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    host.setParameter(0, 1.0f);
    host.setParameter(1, 0.0f);
    const Capture unlit = capture(editor);
    host.clearCalls();
    x.click(editor, kLampX, kLampY);
    idle();
    EXPECT_TRUE(automations(host).empty());
    EXPECT_EQ(unlit.difference(capture(editor), kLamp.x, kLamp.y, kLamp.w, kLamp.h), 0);

    host.setParameter(1, 1.0f);  // drive channel, power on: lit
    const Capture lit = capture(editor);
    EXPECT_GT(unlit.difference(lit, kLamp.x, kLamp.y, kLamp.w, kLamp.h), 1000);
    host.setParameter(0, 0.49f);  // power off: dark again
    EXPECT_EQ(unlit.difference(capture(editor), kLamp.x, kLamp.y, kLamp.w, kLamp.h), 0);
}

TEST_F(EditorX11, draggingAKnobChangesItsParameterOnTheNextPoll)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    host.setParameter(4, 0.30f);
    idle();
    host.clearCalls();
    const int x0 = kGain.x + 20;
    x.press(editor, x0, kGain.y + 50);
    x.move(editor, x0, kGain.y + 10);  // 40 pixels up
    x.release(editor, x0, kGain.y + 10);
    idle();
    auto calls = automations(host);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 4);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);

    // Far beyond the top of the window stops at 100; Ctrl-click recentres.
    x.press(editor, x0, kGain.y + 50);
    x.move(editor, x0, kGain.y - 400);
    x.release(editor, x0, kGain.y - 400);
    idle();
    EXPECT_FLOAT_EQ(host.getParameter(4), 1.0f);
    x.press(editor, x0, kGain.y + 20, ControlMask);
    x.release(editor, x0, kGain.y + 20, ControlMask);
    idle();
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);

    // With Shift the value only lands on tens: 50 - 7 steps is skipped.
    x.press(editor, x0, kGain.y);
    x.move(editor, x0, kGain.y + 14, ShiftMask);
    x.release(editor, x0, kGain.y + 14, ShiftMask);
    host.clearCalls();
    idle();
    EXPECT_TRUE(automations(host).empty());
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);
}

TEST_F(EditorX11, aLostPointerEndsTheDrag)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    host.setParameter(4, 0.30f);
    idle();
    const int x0 = kGain.x + 20;
    x.press(editor, x0, kGain.y + 50);
    x.move(editor, x0, kGain.y + 40);  // 5 steps up: 35
    x.takePointer(editor);
    x.move(editor, x0, kGain.y - 100);  // no longer ours: ignored
    x.release(editor, x0, kGain.y - 100);
    idle();
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.35f);
}

TEST_F(EditorX11, hostAutomationShowsWithinOnePollAndIsNotWrittenBack)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    host.setParameter(4, 0.51f);
    const Capture at51 = capture(editor);
    host.setParameter(4, 0.30f);
    const Capture at30 = capture(editor);
    EXPECT_GT(at51.difference(at30, kGain.x, kGain.y, kGain.w, kGain.h), 1000);  // the scale turned

    host.clearCalls();
    host.setParameter(4, 0.507f);
    EXPECT_EQ(at51.difference(capture(editor), kGain.x, kGain.y, kGain.w, kGain.h), 0);  // position 51
    for (int i = 0; i < 3; ++i) idle();
    EXPECT_TRUE(automations(host).empty());
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.507f);
}

TEST_F(EditorX11, programChangesShowOnTheKnobsAndButtons)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    const Capture defaults = capture(editor);
    host.dispatch(effSetProgram, 0, 10);  // Tube Shred: gain 1, oversampling on
    const Capture shred = capture(editor);
    EXPECT_GT(defaults.difference(shred, kGain.x, kGain.y, kGain.w, kGain.h), 1000);
    EXPECT_GT(defaults.difference(shred, kOversample.x, kOversample.y, kOversample.w, kOversample.h), 1000);
    EXPECT_TRUE(automations(host).empty());
}

TEST_F(EditorX11, theAboutButtonSwapsTheViewAndItsControls)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    const Capture normal = capture(editor);
    x.click(editor, kAbout.cx(), kAbout.cy());
    const Capture about = capture(editor);
    EXPECT_GT(normal.difference(about, 203, 40, 319, 63), 10000);  // the credits
    // The top row of option buttons stays, and still works.
    EXPECT_EQ(normal.difference(about, kOversample.x, kOversample.y, kOversample.w, kOversample.h), 0);
    const float before = host.getParameter(11);
    x.click(editor, kSpeaker.cx(), kSpeaker.cy());
    idle();
    EXPECT_NE(host.getParameter(11), before);
    host.setParameter(11, before);
    // Knobs are gone: a click where Gain was does nothing.
    host.clearCalls();
    x.press(editor, kGain.x + 20, kGain.y + 50);
    x.move(editor, kGain.x + 20, kGain.y);
    x.release(editor, kGain.x + 20, kGain.y);
    idle();
    EXPECT_TRUE(automations(host).empty());

    // The about view does not poll; leaving it shows the current values.
    host.setParameter(4, 0.9f);
    idle();
    x.click(editor, kAbout.cx(), kAbout.cy());
    const Capture back = capture(editor);
    EXPECT_GT(normal.difference(back, kGain.x, kGain.y, kGain.w, kGain.h), 1000);
    EXPECT_EQ(normal.difference(back, 0, 38, 80, 100), 0);
}

TEST_F(EditorX11, closingInTheAboutViewReopensInTheNormalView)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    const Capture normal = capture(editor);
    x.click(editor, kAbout.cx(), kAbout.cy());
    idle();
    host.dispatch(effEditClose);
    x.sync();
    EXPECT_TRUE(x.children(parent).empty());
    editor = openEditor();
    ASSERT_NE(editor, 0u);
    EXPECT_EQ(normal.difference(capture(editor), 0, 0, kPanelWidth, kPanelHeight), 0);
}

TEST_F(EditorX11, reopeningRebuildsTheWindowEveryTime)
{
    for (int round = 0; round < 3; ++round) {
        Window editor = openEditor();
        ASSERT_NE(editor, 0u) << round;
        idle();
        host.dispatch(effEditClose);
        x.sync();
        EXPECT_TRUE(x.children(parent).empty()) << round;
    }
    // Opening again without closing replaces the old window.
    ASSERT_NE(openEditor(), 0u);
    ASSERT_NE(openEditor(), 0u);
    EXPECT_EQ(x.children(parent).size(), 1u);
    idle();
}

TEST_F(EditorX11, aHostThatDestroysItsWindowFirstCanStillCloseAndReopen)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    idle();
    x.destroy(parent);  // the editor's window goes with it
    parent = x.createTopLevel();
    idle();
    host.dispatch(effEditClose);
    idle();

    editor = openEditor();
    ASSERT_NE(editor, 0u);
    const float before = host.getParameter(11);
    x.click(editor, kSpeaker.cx(), kSpeaker.cy());
    idle();
    EXPECT_NE(host.getParameter(11), before);
    host.dispatch(effEditClose);
}

TEST_F(EditorX11, aDestroyedParentLeavesTheEditorClosed)
{
    ASSERT_NE(openEditor(), 0u);
    x.destroy(parent);
    parent = x.createTopLevel();
    idle();  // the editor learns its window is gone
    // No window left to speak of: closing twice, idling and reopening are fine.
    host.dispatch(effEditClose);
    host.dispatch(effEditClose);
    idle();
    EXPECT_NE(openEditor(), 0u);
}

TEST_F(EditorX11, twoEditorsAtOnceWorkAndOutliveEachOther)
{
    PluginHost second{VALVORA_MODULE_PATH};
    ASSERT_NE(second.open(), nullptr);
    Window otherParent = x.createTopLevel();
    Window first = openEditor();
    Window other = openEditor(second, otherParent);
    ASSERT_NE(first, 0u);
    ASSERT_NE(other, 0u);
    idle();
    idle(second);
    host.dispatch(effEditClose);
    host.close();  // the first plug-in and its editor are gone
    const float before = second.getParameter(11);
    x.click(other, kSpeaker.cx(), kSpeaker.cy());
    idle(second);
    EXPECT_NE(second.getParameter(11), before);
    second.close();
    x.destroy(otherParent);
}

TEST_F(EditorX11, aHostThatNeverCallsIdleStillSeesThePanelAndGetsClicks)
{
    Window editor = openEditor();
    ASSERT_NE(editor, 0u);
    const float before = host.getParameter(11);
    host.clearCalls();
    x.click(editor, kSpeaker.cx(), kSpeaker.cy());
    // No effEditIdle: the editor's own thread takes over after a moment.
    std::vector<valvora::test::HostCall> calls;
    for (int i = 0; i < 100 && calls.empty(); ++i) {
        std::this_thread::sleep_for(20ms);
        calls = automations(host);
    }
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 11);
    EXPECT_NE(host.getParameter(11), before);
    // It follows the host too.
    host.setParameter(4, 1.0f);
    const Capture start = x.capture(editor);
    long moved = 0;
    for (int i = 0; i < 100 && moved == 0; ++i) {
        std::this_thread::sleep_for(20ms);
        moved = start.difference(x.capture(editor), kGain.x, kGain.y, kGain.w, kGain.h);
    }
    EXPECT_GT(moved, 1000);
}

TEST_F(EditorX11, closingThePluginLeavesNoThreadOfTheEditor)
{
    host.close();
    const int before = valvora::platform::processThreadCount();
    ASSERT_NE(host.open(), nullptr);
    ASSERT_NE(openEditor(), 0u);
    idle();
    host.close();
    int after = valvora::platform::processThreadCount();
    for (int i = 0; i < 100 && after > before; ++i) {  // a joined thread lingers in the list for a moment
        std::this_thread::sleep_for(20ms);
        after = valvora::platform::processThreadCount();
    }
    EXPECT_EQ(after, before);
}
