// The editor inside a host window, through the module's real entry point and
// dispatcher, under wine: window and controls, clicks and drags reaching the
// host as automation, the poll following the host, the about view, repeated
// opening, two editors at once, a broken image, and captures of the panel.
// Winsock before windows.h, for the loopback server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Threading.h"
#include "tests/editor/wine/EditorCapture.h"
#include "tests/editor/wine/PngWriter.h"
#include "tests/support/PluginHost.h"
#include "tests/update/LoopbackHttpServer.h"

namespace {

using valvora::test::PluginHost;

constexpr const char* kEditorClass = "KelmoValvoraQX70WndClass";
constexpr int kPanelWidth = 689;
constexpr int kPanelHeight = 140;

struct Place {
    int x, y, w, h;
};
// Knobs (Gain, Normal Vol, Drive Volume, Bass, Middle, Treble, Reverb), then
// the buttons in entry order 7..16.
const Place kKnobs[] = {{171, 58, 57, 57}, {89, 58, 57, 57},  {248, 58, 57, 57}, {461, 58, 57, 57},
                        {396, 58, 57, 57}, {330, 58, 57, 57}, {541, 58, 57, 57}};
const Place kButtons[] = {{639, 64, 32, 45}, {379, 0, 40, 32}, {419, 0, 40, 32}, {339, 0, 40, 32},
                          {299, 0, 40, 32},  {461, 0, 30, 32}, {228, 86, 20, 20}, {300, 98, 29, 29},
                          {35, 72, 30, 29},  {491, 0, 68, 32}};
const Place kGain = kKnobs[0];
const Place kPower = kButtons[0], kOversample = kButtons[1], kAbout = kButtons[4], kSpeaker = kButtons[5],
            kDriveSelect = kButtons[6], kLamp = kButtons[7];

LRESULT CALLBACK hostWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// The DAW's side: a visible top-level window that the editor lives in.
HWND createHostWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = hostWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "EditorTestHost";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        registered = RegisterClassA(&wc) != 0;
    }
    return CreateWindowExA(0, "EditorTestHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 760, 240,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void drain() { valvora::test::drainMessages(); }
bool pollOnce(HWND editor) { return valvora::test::pollOnce(editor); }

std::string className(HWND w)
{
    char name[256] = {};
    GetClassNameA(w, name, sizeof(name));
    return name;
}

Place placeOf(HWND child, HWND parent)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

HWND controlAt(HWND editor, const Place& p)
{
    for (HWND c : children(editor)) {
        const Place q = placeOf(c, editor);
        if (q.x == p.x && q.y == p.y && q.w == p.w && q.h == p.h) return c;
    }
    return nullptr;
}

void click(HWND control, int x = 5, int y = 5)
{
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

LPARAM at(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))); }

// The editor as the user sees it, 24-bit RGB rows.
std::vector<std::uint8_t> capture(HWND editor) { return valvora::test::captureEditor(editor).rgb; }

// Sum of absolute differences of two captures inside a region.
long regionDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, const Place& p)
{
    long sum = 0;
    for (int y = p.y; y < p.y + p.h; ++y)
        for (int x = p.x; x < p.x + p.w; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::size_t i = (static_cast<std::size_t>(y) * kPanelWidth + x) * 3 + c;
                sum += std::abs(int(a[i]) - int(b[i]));
            }
    return sum;
}

std::vector<valvora::test::HostCall> automations(PluginHost& host)
{
    std::vector<valvora::test::HostCall> out;
    for (const auto& c : host.calls())
        if (c.opcode == audioMasterAutomate) out.push_back(c);
    return out;
}

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.loaded()) << host.loadError();
        ASSERT_NE(host.open(), nullptr);
        parent = createHostWindow();
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override
    {
        host.close();
        if (parent) DestroyWindow(parent);
        drain();
    }
    HWND openEditor()
    {
        if (host.dispatch(effEditOpen, 0, 0, parent) != 1) return nullptr;
        drain();
        return FindWindowExA(parent, nullptr, kEditorClass, nullptr);
    }

    PluginHost host{VALVORA_MODULE_PATH};
    HWND parent = nullptr;
};

}  // namespace

TEST_F(EditorWindow, flagsShowTheAttachedEditorAndItsRectIsThePanel)
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

TEST_F(EditorWindow, openingPlacesTheSeventeenControlsOnTheChildWindow)
{
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);  // no parent, no editor
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(GetWindowLongA(editor, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(editor));
    const Place whole = placeOf(editor, parent);
    EXPECT_EQ(whole.w, kPanelWidth);
    EXPECT_EQ(whole.h, kPanelHeight);
    EXPECT_EQ(children(editor).size(), 17u);
    for (const Place& p : kKnobs) {
        HWND c = controlAt(editor, p);
        ASSERT_NE(c, nullptr) << "knob at " << p.x;
        EXPECT_EQ(className(c), "ValvoraQX70.dllCLedDialWindowClass");
        EXPECT_TRUE(IsWindowVisible(c));
    }
    for (const Place& p : kButtons) {
        HWND c = controlAt(editor, p);
        ASSERT_NE(c, nullptr) << "button at " << p.x << "," << p.y;
        EXPECT_EQ(className(c), "ValvoraQX70.dllCLedButtonWindowClass");
        EXPECT_TRUE(IsWindowVisible(c));
    }
}

TEST_F(EditorWindow, buttonClicksSetTheirParameterAndTellTheHost)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    struct Case {
        Place place;
        int parameter;
    };
    const Case cases[] = {{kButtons[0], 0}, {kButtons[1], 10}, {kButtons[2], 9}, {kButtons[5], 11},
                          {kButtons[6], 1}, {kButtons[8], 12}, {kButtons[9], 13}};
    for (const Case& c : cases) {
        HWND b = controlAt(editor, c.place);
        ASSERT_NE(b, nullptr);
        const float before = host.getParameter(c.parameter);
        const float expected = before >= 0.5f ? 0.0f : 1.0f;  // a click toggles
        host.clearCalls();
        click(b);
        const auto calls = automations(host);
        ASSERT_EQ(calls.size(), 1u) << "parameter " << c.parameter;
        EXPECT_EQ(calls[0].index, c.parameter);
        EXPECT_EQ(calls[0].opt, expected);
        EXPECT_EQ(host.getParameter(c.parameter), expected);
        // The poll agrees with the click: nothing more is sent.
        host.clearCalls();
        ASSERT_TRUE(pollOnce(editor));
        EXPECT_TRUE(automations(host).empty());
    }
}

TEST_F(EditorWindow, theDriveLampIgnoresClicksAndShowsDriveAndPower)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    host.setParameter(0, 1.0f);
    host.setParameter(1, 0.0f);
    ASSERT_TRUE(pollOnce(editor));
    const auto unlit = capture(editor);
    host.clearCalls();
    click(controlAt(editor, kLamp));
    drain();
    EXPECT_TRUE(automations(host).empty());
    EXPECT_EQ(regionDifference(unlit, capture(editor), kLamp), 0);

    host.setParameter(1, 1.0f);  // drive channel, power on: lit
    ASSERT_TRUE(pollOnce(editor));
    const auto lit = capture(editor);
    EXPECT_GT(regionDifference(unlit, lit, kLamp), 1000);
    host.setParameter(0, 0.49f);  // power off: dark again
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_EQ(regionDifference(unlit, capture(editor), kLamp), 0);
}

TEST_F(EditorWindow, draggingAKnobChangesItsParameterOnTheNextPoll)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    host.setParameter(4, 0.30f);
    ASSERT_TRUE(pollOnce(editor));
    HWND gain = controlAt(editor, kGain);
    ASSERT_NE(gain, nullptr);
    host.clearCalls();
    SendMessageA(gain, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 50));
    SendMessageA(gain, WM_MOUSEMOVE, MK_LBUTTON, at(20, 10));  // 40 pixels up
    SendMessageA(gain, WM_LBUTTONUP, 0, at(20, 10));
    EXPECT_TRUE(automations(host).empty());  // the knob itself tells nobody
    ASSERT_TRUE(pollOnce(editor));
    auto calls = automations(host);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 4);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);

    // Dragging far beyond the top stops at 100; Ctrl-click recentres.
    SendMessageA(gain, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 50));
    SendMessageA(gain, WM_MOUSEMOVE, MK_LBUTTON, at(20, -400));
    SendMessageA(gain, WM_LBUTTONUP, 0, at(20, -400));
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_FLOAT_EQ(host.getParameter(4), 1.0f);
    SendMessageA(gain, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at(20, 20));
    SendMessageA(gain, WM_LBUTTONUP, MK_CONTROL, at(20, 20));
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);

    // With Shift the value only lands on tens: 50 - 7 steps is skipped.
    SendMessageA(gain, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 0));
    SendMessageA(gain, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, at(20, 14));
    SendMessageA(gain, WM_LBUTTONUP, MK_SHIFT, at(20, 14));
    host.clearCalls();
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_TRUE(automations(host).empty());
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.5f);
}

TEST_F(EditorWindow, aLostMouseCaptureEndsAKnobDrag)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    host.setParameter(4, 0.30f);
    ASSERT_TRUE(pollOnce(editor));
    HWND gain = controlAt(editor, kGain);
    ASSERT_NE(gain, nullptr);
    SendMessageA(gain, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 50));
    SendMessageA(gain, WM_MOUSEMOVE, MK_LBUTTON, at(20, 40));  // 5 steps up: 35
    ReleaseCapture();  // someone else takes the mouse
    SendMessageA(gain, WM_MOUSEMOVE, MK_LBUTTON, at(20, -100));
    SendMessageA(gain, WM_LBUTTONUP, 0, at(20, -100));
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.35f);
}

TEST_F(EditorWindow, instancesMadeOnSeveralThreadsKeepOneClassRegistration)
{
    host.close();
    HMODULE module = GetModuleHandleA("ValvoraQX70.dll");
    ASSERT_NE(module, nullptr);
    std::vector<std::thread> makers;
    for (int t = 0; t < 4; ++t)
        makers.emplace_back([] {
            for (int i = 0; i < 10; ++i) {
                PluginHost other{VALVORA_MODULE_PATH};
                if (other.open()) other.close();
            }
        });
    for (std::thread& m : makers) m.join();
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    EXPECT_FALSE(GetClassInfoExA(module, kEditorClass, &info));  // none alive: gone
    ASSERT_NE(host.open(), nullptr);
    EXPECT_TRUE(GetClassInfoExA(module, kEditorClass, &info));
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(children(editor).size(), 17u);
}

TEST_F(EditorWindow, hostAutomationShowsWithinOnePollAndIsNotWrittenBack)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    host.setParameter(4, 0.51f);
    ASSERT_TRUE(pollOnce(editor));
    const auto at51 = capture(editor);
    host.setParameter(4, 0.30f);
    ASSERT_TRUE(pollOnce(editor));
    const auto at30 = capture(editor);
    EXPECT_GT(regionDifference(at51, at30, kGain), 1000);  // the scale turned

    host.clearCalls();
    host.setParameter(4, 0.507f);
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_EQ(regionDifference(at51, capture(editor), kGain), 0);  // position 51
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(pollOnce(editor));
    EXPECT_TRUE(automations(host).empty());
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.507f);
}

TEST_F(EditorWindow, litButtonsLookDifferentFromUnlitOnes)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    host.setParameter(10, 0.0f);
    ASSERT_TRUE(pollOnce(editor));
    const auto off = capture(editor);
    host.setParameter(10, 0.5f);  // exactly one half is on
    ASSERT_TRUE(pollOnce(editor));
    const auto on = capture(editor);
    EXPECT_GT(regionDifference(off, on, kOversample), 1000);
    EXPECT_EQ(regionDifference(off, on, kSpeaker), 0);
}

TEST_F(EditorWindow, theAboutButtonSwapsTheViewAndItsControls)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    const auto normal = capture(editor);
    valvora::test::writePng("editor-normal.png", normal, kPanelWidth, kPanelHeight);

    click(controlAt(editor, kAbout));
    drain();
    for (const Place& p : kKnobs) EXPECT_FALSE(IsWindowVisible(controlAt(editor, p))) << p.x;
    for (int i = 0; i < 10; ++i) {
        const bool topRow = i >= 1 && i <= 5;  // entries 8..12
        EXPECT_EQ(IsWindowVisible(controlAt(editor, kButtons[i])) != 0, topRow) << "button " << i + 7;
    }
    const auto about = capture(editor);
    valvora::test::writePng("editor-about.png", about, kPanelWidth, kPanelHeight);
    EXPECT_GT(regionDifference(normal, about, {203, 40, 319, 63}), 10000);  // the credits

    // The about view does not poll; leaving it shows the current values.
    host.setParameter(4, 0.9f);
    ASSERT_TRUE(pollOnce(editor));
    click(controlAt(editor, kAbout));
    drain();
    for (HWND c : children(editor)) EXPECT_TRUE(IsWindowVisible(c));
    ASSERT_TRUE(pollOnce(editor));
    EXPECT_GT(regionDifference(normal, capture(editor), kGain), 1000);
    EXPECT_EQ(regionDifference(normal, capture(editor), {0, 38, 80, 100}), 0);
}

TEST_F(EditorWindow, closingInTheAboutViewReopensInTheNormalView)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    const auto normal = capture(editor);
    click(controlAt(editor, kAbout));
    host.dispatch(effEditClose);
    drain();

    editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    for (HWND c : children(editor)) EXPECT_TRUE(IsWindowVisible(c));
    EXPECT_EQ(regionDifference(normal, capture(editor), kAbout), 0);  // dark again
    click(controlAt(editor, kAbout));  // one click enters the about view
    drain();
    EXPECT_FALSE(IsWindowVisible(controlAt(editor, kGain)));
}

TEST_F(EditorWindow, reopeningRebuildsEverythingAndClassesLiveWithTheirWindows)
{
    HMODULE module = GetModuleHandleA("ValvoraQX70.dll");
    ASSERT_NE(module, nullptr);
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    for (int round = 0; round < 3; ++round) {
        HWND editor = openEditor();
        ASSERT_NE(editor, nullptr) << round;
        EXPECT_EQ(children(editor).size(), 17u);
        EXPECT_TRUE(GetClassInfoExA(module, "ValvoraQX70.dllCLedDialWindowClass", &info));
        ASSERT_TRUE(pollOnce(editor));
        host.dispatch(effEditClose);
        drain();
        EXPECT_EQ(FindWindowExA(parent, nullptr, kEditorClass, nullptr), nullptr);
        EXPECT_FALSE(GetClassInfoExA(module, "ValvoraQX70.dllCLedDialWindowClass", &info));
        EXPECT_FALSE(GetClassInfoExA(module, "ValvoraQX70.dllCLedButtonWindowClass", &info));
        EXPECT_TRUE(GetClassInfoExA(module, kEditorClass, &info));  // the editor object lives on
    }
}

TEST_F(EditorWindow, aHostThatDestroysItsWindowFirstCanStillCloseAndReopen)
{
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    DestroyWindow(parent);  // the editor's windows go with it
    parent = createHostWindow();
    drain();
    host.dispatch(effEditClose);
    host.dispatch(effEditIdle);

    editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(children(editor).size(), 17u);
    const float before = host.getParameter(11);
    click(controlAt(editor, kSpeaker));
    EXPECT_NE(host.getParameter(11), before);
    ASSERT_TRUE(pollOnce(editor));
    host.dispatch(effEditClose);
    drain();
    HMODULE module = GetModuleHandleA("ValvoraQX70.dll");
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    EXPECT_FALSE(GetClassInfoExA(module, "ValvoraQX70.dllCLedButtonWindowClass", &info));
}

TEST_F(EditorWindow, twoEditorsShareTheClassesAndOutliveEachOther)
{
    PluginHost second{VALVORA_MODULE_PATH};
    ASSERT_NE(second.open(), nullptr);
    HWND otherParent = createHostWindow();
    HWND first = openEditor();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(second.dispatch(effEditOpen, 0, 0, otherParent), 1);
    HWND other = FindWindowExA(otherParent, nullptr, kEditorClass, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(children(other).size(), 17u);

    HMODULE module = GetModuleHandleA("ValvoraQX70.dll");
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    host.dispatch(effEditClose);
    host.close();  // the first plug-in and its editor are gone
    drain();
    EXPECT_TRUE(GetClassInfoExA(module, kEditorClass, &info));
    EXPECT_TRUE(GetClassInfoExA(module, "ValvoraQX70.dllCLedButtonWindowClass", &info));
    // The second editor still works.
    const float before = second.getParameter(11);
    click(controlAt(other, kSpeaker));
    EXPECT_NE(second.getParameter(11), before);
    ASSERT_TRUE(pollOnce(other));
    EXPECT_EQ(children(other).size(), 17u);

    second.close();
    drain();
    EXPECT_FALSE(GetClassInfoExA(module, kEditorClass, &info));
    EXPECT_FALSE(GetClassInfoExA(module, "ValvoraQX70.dllCLedButtonWindowClass", &info));
    DestroyWindow(otherParent);
}

TEST_F(EditorWindow, theUpdateButtonStartsACheckAndGoesDarkAgain)
{
    // A loopback port with nothing behind it: the check fails at once and
    // says so in a message box owned by the host's window.
    SetEnvironmentVariableA("VALVORA_UPDATE_SERVER", "127.0.0.1:9");
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    const auto before = capture(editor);
    host.clearCalls();
    click(controlAt(editor, kButtons[3]));
    drain();
    EXPECT_TRUE(automations(host).empty());
    EXPECT_EQ(regionDifference(before, capture(editor), kButtons[3]), 0);  // unlit again

    HWND box = nullptr;
    for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 10000;) {
        drain();
        Sleep(10);
        box = FindWindowA("#32770", "Kelmo Valvora QX70");
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), parent);
    host.close();  // deleting the editor dismisses the box and ends the check
    drain();
    EXPECT_FALSE(IsWindow(box));
    SetEnvironmentVariableA("VALVORA_UPDATE_SERVER", nullptr);
}

TEST(EditorUpdateCheck, closingDuringASilentCheckReturnsAtOnceAndTheCheckLeavesTheModuleLast)
{
    valvora::testing::LoopbackHttpServer server(valvora::testing::LoopbackHttpServer::Mode::Silent);
    ASSERT_TRUE(server.listening());
    // The C runtime's environment, which the module reads.
    _putenv_s("VALVORA_UPDATE_SERVER", server.address().c_str());
    _putenv_s("no_proxy", "127.0.0.1,localhost");
    ASSERT_EQ(GetModuleHandleA("ValvoraQX70.dll"), nullptr);
    const int before = valvora::platform::processThreadCount();
    auto host = std::make_unique<PluginHost>(VALVORA_MODULE_PATH);
    ASSERT_NE(host->open(), nullptr);
    HWND parent = createHostWindow();
    ASSERT_EQ(host->dispatch(effEditOpen, 0, 0, parent), 1);
    drain();
    HWND editor = FindWindowExA(parent, nullptr, kEditorClass, nullptr);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    click(controlAt(editor, kButtons[3]));
    for (DWORD start = GetTickCount(); server.connections() == 0 && GetTickCount() - start < 30000;) {
        drain();
        Sleep(10);
    }
    ASSERT_EQ(server.connections(), 1);
    host->dispatch(effEditClose);
    drain();
    const DWORD start = GetTickCount();
    host->close();
    const DWORD took = GetTickCount() - start;
    std::printf("effClose during a silent wait returned after %lu ms\n", static_cast<unsigned long>(took));
    EXPECT_LT(took, 2000u);  // not the ten seconds of the network time-out
    host.reset();  // the host unloads the module
    // A check still waiting for the network keeps the module loaded until it
    // has left the module's code for good.
    if (valvora::platform::processThreadCount() > before) {
        EXPECT_NE(GetModuleHandleA("ValvoraQX70.dll"), nullptr);
    }
    int after = valvora::platform::processThreadCount();
    for (DWORD waited = GetTickCount(); after > before && GetTickCount() - waited < 20000;) {
        Sleep(20);
        after = valvora::platform::processThreadCount();
    }
    EXPECT_EQ(after, before) << "threads before the plug-in and after it";
    EXPECT_EQ(GetModuleHandleA("ValvoraQX70.dll"), nullptr);
    _putenv_s("VALVORA_UPDATE_SERVER", "");
    DestroyWindow(parent);
    drain();
}

TEST_F(EditorWindow, aPluginWhoseEditorIsNeverOpenedStillWorks)
{
    std::vector<float> in(256, 0.25f), out(256, 0.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out.data(), out.data()};
    host.setParameter(4, 0.8f);
    for (int block = 0; block < 8; ++block) host.process(inputs, outputs, 256);
    EXPECT_FLOAT_EQ(host.getParameter(4), 0.8f);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(FindWindowExA(parent, nullptr, kEditorClass, nullptr), nullptr);
}

// ------------------------------------------------------------ broken image

namespace {

BOOL CALLBACK firstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out)
{
    *reinterpret_cast<WORD*>(out) = language;
    return FALSE;
}

}  // namespace

TEST(EditorBrokenImage, anUndecodableSpriteRemovesOnlyItsControl)
{
    // A copy of the module whose speaker-button image is not a PNG.
    const char* copy = "ValvoraQX70-broken.dll";
    ASSERT_TRUE(CopyFileA(VALVORA_MODULE_PATH, copy, FALSE));
    WORD language = 0;
    {
        HMODULE original = LoadLibraryExA(VALVORA_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(original, nullptr);
        EnumResourceLanguagesA(original, "PNG", MAKEINTRESOURCEA(132), firstLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
        FreeLibrary(original);
    }
    HANDLE update = BeginUpdateResourceA(copy, FALSE);
    ASSERT_NE(update, nullptr);
    char garbage[] = "this is no image at all, just bytes";
    ASSERT_TRUE(UpdateResourceA(update, "PNG", MAKEINTRESOURCEA(132), language, garbage, sizeof(garbage)));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    {
        PluginHost host(copy);
        ASSERT_TRUE(host.loaded()) << host.loadError();
        ASSERT_NE(host.open(), nullptr);
        HWND parent = createHostWindow();
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
        HWND editor = FindWindowExA(parent, nullptr, kEditorClass, nullptr);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(children(editor).size(), 16u);
        EXPECT_EQ(controlAt(editor, kSpeaker), nullptr);
        for (const Place& p : kKnobs) EXPECT_NE(controlAt(editor, p), nullptr);
        for (const Place& p : kButtons) {
            if (p.x != kSpeaker.x || p.y != kSpeaker.y) {
                EXPECT_NE(controlAt(editor, p), nullptr) << p.x;
            }
        }
        ASSERT_TRUE(pollOnce(editor));
        host.close();
        DestroyWindow(parent);
        drain();
    }
    DeleteFileA(copy);
}
