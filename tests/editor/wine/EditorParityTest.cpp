// The two editors show the same panel: the Windows editor's capture under
// wine against the Linux editor's capture of the same states (taken by the
// Linux build just before), pixel by pixel. Only premultiplied alpha may
// round differently (one step per channel); the about view's texts are drawn
// with each platform's own fonts and are left out.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/editor/RgbImage.h"
#include "tests/editor/wine/EditorCapture.h"
#include "tests/support/PluginHost.h"

namespace {

using valvora::test::RgbImage;

struct Box {
    int left, top, right, bottom;
};
// Where the about view prints its texts.
const Box kTextBoxes[] = {{203, 40, 522, 67}, {203, 67, 522, 103}, {19, 47, 203, 88},  {19, 63, 203, 88},
                          {19, 88, 203, 124}, {19, 104, 203, 124}, {522, 47, 669, 88}, {522, 88, 669, 124}};

bool inText(int x, int y)
{
    return std::any_of(std::begin(kTextBoxes), std::end(kTextBoxes), [&](const Box& b) {
        return x >= b.left && x < b.right && y >= b.top && y < b.bottom;
    });
}

struct Comparison {
    int largest = 0;    // largest channel difference
    long compared = 0;  // pixels compared
};

Comparison compare(const RgbImage& a, const RgbImage& b, bool skipTexts)
{
    Comparison out;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            if (skipTexts && inText(x, y)) continue;
            ++out.compared;
            for (int c = 0; c < 3; ++c)
                out.largest = std::max(out.largest, std::abs(a.at(x, y)[c] - b.at(x, y)[c]));
        }
    return out;
}

LRESULT CALLBACK hostWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}

void drain() { valvora::test::drainMessages(); }
bool pollOnce(HWND editor) { return valvora::test::pollOnce(editor); }

std::string parityFile(const char* name)
{
    return std::string(VALVORA_EDITOR_PARITY_DIR) + "/" + name;
}

}  // namespace

TEST(EditorParity, theWindowsAndLinuxEditorsShowTheSamePixels)
{
    const RgbImage linuxNormal = RgbImage::readPpm(parityFile("linux-normal.ppm").c_str());
    const RgbImage linuxAbout = RgbImage::readPpm(parityFile("linux-about.ppm").c_str());
    ASSERT_EQ(linuxNormal.width, 689) << "no Linux capture in " << VALVORA_EDITOR_PARITY_DIR;
    ASSERT_EQ(linuxAbout.width, 689);

    valvora::test::PluginHost host(VALVORA_MODULE_PATH);
    ASSERT_TRUE(host.loaded()) << host.loadError();
    ASSERT_NE(host.open(), nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = hostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "EditorParityHost";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, "EditorParityHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 760,
                                  240, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, parent), 1);
    drain();
    HWND editor = FindWindowExA(parent, nullptr, "KelmoValvoraQX70WndClass", nullptr);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(pollOnce(editor));
    const RgbImage windowsNormal = valvora::test::captureEditor(editor);
    HWND about = ChildWindowFromPoint(editor, POINT{319, 16});
    ASSERT_NE(about, editor);
    SendMessageA(about, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(about, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    drain();
    const RgbImage windowsAbout = valvora::test::captureEditor(editor);
    windowsNormal.writePpm(parityFile("windows-normal.ppm").c_str());
    windowsAbout.writePpm(parityFile("windows-about.ppm").c_str());

    ASSERT_EQ(windowsNormal.width, linuxNormal.width);
    ASSERT_EQ(windowsNormal.height, linuxNormal.height);
    const Comparison normal = compare(windowsNormal, linuxNormal, false);
    EXPECT_LE(normal.largest, 1);
    const Comparison aboutView = compare(windowsAbout, linuxAbout, true);
    EXPECT_LE(aboutView.largest, 1);
    EXPECT_GT(aboutView.compared, 689L * 140 / 2);  // most of the view is compared
    // The texts are there on both, whatever their fonts.
    EXPECT_GT(windowsAbout.difference(windowsNormal, 203, 40, 319, 63), 10000);
    EXPECT_GT(linuxAbout.difference(linuxNormal, 203, 40, 319, 63), 10000);

    host.close();
    DestroyWindow(parent);
    drain();
}
