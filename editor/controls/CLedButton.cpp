#include "editor/controls/CLedButton.h"

#include "editor/controls/LoadBitmapFromStream.h"
#include "platform/Diagnostics.h"

namespace valvora {

namespace {
int liveButtonWindows = 0;
}

CLedButton::~CLedButton() { destroyWindow(); }

int& CLedButton::instanceCounter() const { return liveButtonWindows; }

void CLedButton::create(HINSTANCE instance, HWND parent, HBITMAP background, int x, int y, int resource,
                        int controlId, int frames)
{
    if (hwnd) return;
    this->instance = instance;
    this->parent = parent;
    model.configure(controlId, frames);
    if (!LoadBitmaps(background, x, y, resource) || width <= 0 || frameHeight <= 0) return;
    height = frameHeight;
    if (!createControlWindow(x, y)) {
        DeleteObject(composed);
        composed = nullptr;
        return;
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
}

bool CLedButton::LoadBitmaps(HBITMAP background, int x, int y, int resource)
{
    HBITMAP sprite = LoadBitmapFromStream(instance, resource);
    int spriteWidth = 0, spriteHeight = 0;
    if (!bitmapSize(sprite, spriteWidth, spriteHeight)) {
        platform::trace("CLedButton::LoadBitmaps", "sprite missing");
        return false;
    }
    width = spriteWidth;
    frameHeight = spriteHeight / model.frames();
    const int composedHeight = model.frames() * frameHeight;
    if (width > 0 && frameHeight > 0) composed = createPixelBitmap(width, composedHeight, nullptr);
    if (composed) {
        HDC target = CreateCompatibleDC(nullptr);
        HGDIOBJ oldTarget = SelectObject(target, composed);
        for (int f = 0; f < model.frames(); ++f)
            copyBackground(target, f * frameHeight, background, x, y, width, frameHeight);
        blendOver(target, sprite, width, composedHeight);
        SelectObject(target, oldTarget);
        DeleteDC(target);
    }
    DeleteObject(sprite);
    return composed != nullptr;
}

void CLedButton::destroyWindow()
{
    CBitmapControl::destroyWindow();
    if (composed) DeleteObject(composed);
    composed = nullptr;
}

void CLedButton::setState(int s)
{
    model.setState(s);
    if (!hwnd) return;
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

void CLedButton::paint(HDC dc)
{
    if (!composed) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, composed);
    BitBlt(dc, 0, 0, width, frameHeight, source, 0, model.state() * frameHeight, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

LRESULT CLedButton::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT:  // captures (PrintWindow) draw the current frame too
        paintMessage(window, wParam, [this](HDC dc) { paint(dc); });
        return 1;
    case WM_LBUTTONDOWN:
        if (model.controlId() != 0) {
            if (model.press()) SendMessageA(parent, kClickMessage, static_cast<WPARAM>(model.controlId()), model.state());
            SetCapture(window);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 1;
    case WM_LBUTTONUP:
        if (model.controlId() == 0) return 1;
        model.release();
        ReleaseCapture();
        InvalidateRect(window, nullptr, FALSE);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace valvora
