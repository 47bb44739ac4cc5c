#include "editor/controls/CKnob.h"

#include <cstring>

#include "editor/controls/LoadBitmapFromStream.h"
#include "platform/Diagnostics.h"

namespace valvora {

namespace {

// The pixels of a bitmap as top-down 32-bit BGRA of the given size.
bool readPixels(HBITMAP bitmap, int width, int height, std::vector<std::uint8_t>& out)
{
    BITMAPINFO info = topDownInfo(width, height);
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), out.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    return lines == height;
}

}  // namespace

CKnob::~CKnob() { destroyWindow(); }

void CKnob::create(HINSTANCE instance, HWND parent, HBITMAP background, int x, int y, int body, float centreX,
                   float centreY, int overlay)
{
    if (hwnd) return;
    this->instance = instance;
    this->parent = parent;
    this->centreX = centreX;
    this->centreY = centreY;
    if (!LoadBitmaps(background, body, overlay, x, y) || width <= 0 || height <= 0) {
        releaseImages();
        return;
    }
    if (!createControlWindow(x, y)) releaseImages();
}

bool CKnob::LoadBitmaps(HBITMAP background, int body, int overlay, int x, int y)
{
    HBITMAP bodyBitmap = LoadBitmapFromStream(instance, body);
    HBITMAP overlayBitmap = LoadBitmapFromStream(instance, overlay);
    int w = 0, h = 0;
    if (!bitmapSize(bodyBitmap, w, h)) {
        platform::trace("CKnob::LoadBitmaps", "body missing");
        if (overlayBitmap) DeleteObject(overlayBitmap);
        return false;
    }
    width = w;
    height = h;
    void* bits = nullptr;
    composite = createPixelBitmap(width, height, &bits);
    if (composite && bits) {
        compositeBits = static_cast<std::uint8_t*>(bits);
        compositeDc = CreateCompatibleDC(nullptr);
        compositeOld = SelectObject(compositeDc, composite);
        copyBackground(compositeDc, 0, background, x, y, width, height);
        blendOver(compositeDc, bodyBitmap, width, height);
        GdiFlush();

        const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
        pristine.assign(compositeBits, compositeBits + bytes);
        work.assign(bytes, 0);
        overlayPixels.assign(bytes, 0);
        // A scale of another size than the body would turn about the wrong
        // centre: the knob then shows its body alone.
        int ow = 0, oh = 0;
        if (bitmapSize(overlayBitmap, ow, oh) && ow == width && oh == height)
            readPixels(overlayBitmap, width, height, overlayPixels);
    }
    DeleteObject(bodyBitmap);
    if (overlayBitmap) DeleteObject(overlayBitmap);
    return compositeDc != nullptr;
}

void CKnob::paint(HDC dc)
{
    if (!compositeDc || pristine.empty()) return;
    raster.render(pristine.data(), overlayPixels.data(), work.data(), width, height, centreX, centreY,
                  dialValue.value());
    GdiFlush();
    std::memcpy(compositeBits, work.data(), work.size());
    BitBlt(dc, 0, 0, width, height, compositeDc, 0, 0, SRCCOPY);
    dialValue.markPainted();
}

void CKnob::releaseImages() noexcept
{
    if (compositeDc) {
        SelectObject(compositeDc, compositeOld);
        DeleteDC(compositeDc);
    }
    if (composite) DeleteObject(composite);
    compositeDc = nullptr;
    composite = nullptr;
    compositeOld = nullptr;
    compositeBits = nullptr;
    pristine.clear();
    overlayPixels.clear();
    work.clear();
}

void CKnob::destroyWindow()
{
    CBitmapControl::destroyWindow();
    releaseImages();
}

}  // namespace valvora
