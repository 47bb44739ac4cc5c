#include "editor/controls/CLedDial.h"

namespace valvora {

namespace {
int liveDialWindows = 0;
}

CLedDial::~CLedDial() { CBitmapControl::destroyWindow(); }

int& CLedDial::instanceCounter() const { return liveDialWindows; }

void CLedDial::requestRepaint() noexcept
{
    if (hwnd && dialValue.needsRepaint()) InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT CLedDial::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Signed: a drag may leave the window upwards.
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_LBUTTONDOWN:
        // Modifiers come with the message: the host may inject clicks.
        if (dialValue.press(y, (wParam & MK_CONTROL) != 0)) SetCapture(window);
        return 1;
    case WM_MOUSEMOVE:
        dialValue.move(y, (wParam & MK_SHIFT) != 0);
        return 1;
    case WM_LBUTTONUP:
        dialValue.release();
        ReleaseCapture();
        return 1;
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a host dialog, a lost focus): the
        // drag ends there, or the knob would follow a mouse it no longer has.
        dialValue.release();
        return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        paintMessage(window, wParam, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace valvora
