#include "editor/controls/CBitmapControl.h"

#include <cstring>
#include <mutex>

#include "platform/Module.h"

namespace valvora {

// Derived classes destroy their window in their own destructors: the class
// counter they report is gone by the time this one runs.
CBitmapControl::~CBitmapControl() = default;

void CBitmapControl::buildClassName()
{
    char module[128] = {};
    platform::moduleFileName(module, sizeof(module));
    const char* suffix = classSuffix();
    const std::size_t used = std::strlen(module);
    std::strncpy(className, module, sizeof(className) - 1);
    if (used < sizeof(className) - 1) std::strncat(className, suffix, sizeof(className) - 1 - used);
}

namespace {
// The classes and their counters are module-wide; editors of instances that
// hosts create on different threads may open at the same time.
std::mutex& classLock()
{
    static std::mutex lock;
    return lock;
}
}  // namespace

bool CBitmapControl::createControlWindow(int x, int y)
{
    buildClassName();
    std::lock_guard<std::mutex> hold(classLock());
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExA(instance, className, &existing)) {
        instanceCounter() = 0;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = route;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.lpszClassName = className;
        RegisterClassExA(&wc);
    }
    hwnd = CreateWindowExA(0, className, className, WS_CHILD | WS_VISIBLE, x, y, width, height, parent, nullptr,
                           instance, nullptr);
    if (!hwnd) return false;
    ++instanceCounter();
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void CBitmapControl::destroyWindow()
{
    if (!hwnd) return;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    forgetWindow();
}

void CBitmapControl::forgetWindow() noexcept
{
    hwnd = nullptr;
    std::lock_guard<std::mutex> hold(classLock());
    int& count = instanceCounter();
    if (count > 0 && --count == 0) UnregisterClassA(className, instance);
}

LRESULT CALLBACK CBitmapControl::route(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* control = reinterpret_cast<CBitmapControl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!control) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Destroyed with the host's window, before the editor was closed:
        // the handle must not be used again.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        control->forgetWindow();
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return control->windowProc(window, message, wParam, lParam);
}

void copyBackground(HDC target, int targetY, HBITMAP background, int x, int y, int width, int height) noexcept
{
    if (!background) return;
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, background);
    BitBlt(target, 0, targetY, width, height, source, x, y, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

void blendOver(HDC target, HBITMAP sprite, int width, int height) noexcept
{
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, sprite);
    const BLENDFUNCTION over{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(target, 0, 0, width, height, source, 0, 0, width, height, over);
    SelectObject(source, old);
    DeleteDC(source);
}

}  // namespace valvora
