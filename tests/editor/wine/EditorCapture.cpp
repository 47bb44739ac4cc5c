#include "tests/editor/wine/EditorCapture.h"

#include <vector>

namespace valvora::test {

namespace {
RECT placeOf(HWND child, HWND parent)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
}  // namespace

RgbImage captureEditor(HWND editor)
{
    RECT whole{};
    GetClientRect(editor, &whole);
    const int width = whole.right, height = whole.bottom;
    HDC screen = GetDC(editor);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP image = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, image);
    PrintWindow(editor, dc, 0);
    std::vector<HWND> kids;
    for (HWND c = GetWindow(editor, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) kids.push_back(c);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        if (!IsWindowVisible(*it)) continue;
        const RECT p = placeOf(*it, editor);
        const int w = p.right - p.left, h = p.bottom - p.top;
        HDC part = CreateCompatibleDC(screen);
        HBITMAP partImage = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ partOld = SelectObject(part, partImage);
        PrintWindow(*it, part, 0);
        BitBlt(dc, p.left, p.top, w, h, part, 0, 0, SRCCOPY);
        SelectObject(part, partOld);
        DeleteObject(partImage);
        DeleteDC(part);
    }
    SelectObject(dc, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    GetDIBits(dc, image, 0, static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
    DeleteObject(image);
    DeleteDC(dc);
    ReleaseDC(editor, screen);
    RgbImage out;
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
        out.rgb[i * 3] = bgra[i * 4 + 2];
        out.rgb[i * 3 + 1] = bgra[i * 4 + 1];
        out.rgb[i * 3 + 2] = bgra[i * 4];
    }
    return out;
}

void drainMessages()
{
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool pollOnce(HWND editor)
{
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < 2000) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(1);
            continue;
        }
        DispatchMessageA(&msg);
        if (msg.message == WM_TIMER && msg.hwnd == editor) {
            drainMessages();
            return true;
        }
    }
    return false;
}

}  // namespace valvora::test
