// The images compiled into the module, decoded by the editor's own loader
// (WIC through COM) from the built DLL: sizes and frame layouts, alpha where
// sprites need it, opaque panels and rocker, premultiplied pixels, and the
// failures that make a control go without its window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "editor/controls/LoadBitmapFromStream.h"
#include "platform/Diagnostics.h"

namespace {

using valvora::LoadBitmapFromStream;

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgra;
    std::uint8_t alpha(int x, int y) const { return bgra[(static_cast<std::size_t>(y) * width + x) * 4 + 3]; }
};

Image pixels(HBITMAP bitmap)
{
    Image image;
    if (!valvora::bitmapSize(bitmap, image.width, image.height)) return image;
    image.bgra.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    BITMAPINFO info = valvora::topDownInfo(image.width, image.height);
    HDC dc = CreateCompatibleDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(image.height), image.bgra.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    return image;
}

std::vector<std::string> traces;
void recordTrace(const char* where, const char*) noexcept { traces.emplace_back(where); }

class EditorImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        module = LoadLibraryExA(VALVORA_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override
    {
        if (module) FreeLibrary(module);
        CoUninitialize();
    }
    Image load(int id)
    {
        HBITMAP bitmap = LoadBitmapFromStream(module, id);
        Image image = pixels(bitmap);
        if (bitmap) DeleteObject(bitmap);
        return image;
    }
    HMODULE module = nullptr;
};

struct Expected {
    int id, width, height;
    bool opaque;
};
// Panels 689 x 140; knob body and scale 57 x 57; buttons two frames stacked.
const Expected kImages[] = {{123, 57, 57, false},  {124, 57, 57, false}, {126, 29, 58, false},
                            {127, 689, 140, true}, {128, 689, 140, true}, {129, 20, 40, false},
                            {130, 40, 64, false},  {131, 40, 64, false}, {132, 30, 64, false},
                            {133, 40, 64, false},  {134, 40, 64, false}, {135, 32, 90, true},
                            {136, 30, 58, false},  {137, 68, 64, false}};

}  // namespace

TEST_F(EditorImages, everyImageHasItsSizeAndItsKindOfAlpha)
{
    for (const Expected& e : kImages) {
        const Image image = load(e.id);
        ASSERT_EQ(image.width, e.width) << e.id;
        ASSERT_EQ(image.height, e.height) << e.id;
        int transparent = 0, opaque = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const int a = image.alpha(x, y);
                transparent += a == 0;
                opaque += a == 255;
            }
        if (e.opaque) {
            EXPECT_EQ(opaque, image.width * image.height) << e.id;
        } else {  // sprites leave the panel showing around them
            EXPECT_GT(transparent, 0) << e.id;
            EXPECT_EQ(image.alpha(0, 0), 0) << e.id;
        }
    }
}

TEST_F(EditorImages, spritePixelsArePremultiplied)
{
    for (int id : {123, 126, 130, 136}) {
        const Image image = load(id);
        for (std::size_t i = 0; i < image.bgra.size(); i += 4)
            for (int c = 0; c < 3; ++c) ASSERT_LE(image.bgra[i + c], image.bgra[i + 3]) << id;
    }
}

TEST_F(EditorImages, theKnobScaleIsLightOnlyAroundTheSkirt)
{
    // The scale adds light where its alpha is; the cap in the middle and the
    // corners outside the skirt must stay untouched.
    const Image scale = load(124);
    for (int y = 0; y < 57; ++y)
        for (int x = 0; x < 57; ++x) {
            const double r = std::hypot(x + 0.5 - 28.0, y + 0.5 - 28.5);
            if (r < 12.0 || r > 26.0) {
                ASSERT_EQ(scale.alpha(x, y), 0) << x << "," << y;
            }
        }
}

TEST_F(EditorImages, missingImagesGiveNoBitmap)
{
    traces.clear();
    valvora::platform::setTraceHook(recordTrace);
    EXPECT_EQ(LoadBitmapFromStream(module, 125), nullptr);  // no such resource
    EXPECT_EQ(LoadBitmapFromStream(nullptr, 127), nullptr);  // not this module's
    valvora::platform::setTraceHook(nullptr);
    EXPECT_TRUE(traces.empty());
}

TEST(EditorImagesBroken, anUndecodableImageGivesNoBitmapAndATrace)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const char* copy = "ValvoraQX70-images.dll";
    ASSERT_TRUE(CopyFileA(VALVORA_MODULE_PATH, copy, FALSE));
    HANDLE update = BeginUpdateResourceA(copy, FALSE);
    ASSERT_NE(update, nullptr);
    // A PNG signature with nothing behind it, under a new id.
    unsigned char truncated[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    ASSERT_TRUE(UpdateResourceA(update, "PNG", MAKEINTRESOURCEA(140), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                truncated, sizeof(truncated)));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    HMODULE module = LoadLibraryExA(copy, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    traces.clear();
    valvora::platform::setTraceHook(recordTrace);
    EXPECT_EQ(LoadBitmapFromStream(module, 140), nullptr);
    valvora::platform::setTraceHook(nullptr);
    EXPECT_EQ(traces, std::vector<std::string>{"PNGLOAD"});
    HBITMAP panel = LoadBitmapFromStream(module, 127);  // the others still load
    EXPECT_NE(panel, nullptr);
    if (panel) DeleteObject(panel);
    FreeLibrary(module);
    DeleteFileA(copy);
    CoUninitialize();
}
