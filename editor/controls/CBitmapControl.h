#pragma once
// What the editor's bitmap controls share: a child window of a class named
// after the module (so two modules loaded side by side never share a class),
// registered with the first window of the class and unregistered with the
// last. Window thread only.

#include <windows.h>

namespace valvora {

class CBitmapControl {
public:
    CBitmapControl() = default;
    virtual ~CBitmapControl();
    CBitmapControl(const CBitmapControl&) = delete;
    CBitmapControl& operator=(const CBitmapControl&) = delete;

    // Destroys the window and what only the window needs.
    virtual void destroyWindow();

    HWND window() const noexcept { return hwnd; }
    int getWidth() const noexcept { return width; }
    int getHeight() const noexcept { return height; }

protected:
    virtual const char* classSuffix() const = 0;
    // Live windows of this class, module-wide.
    virtual int& instanceCounter() const = 0;
    virtual LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Registers the class if needed and creates the window at (x, y) with the
    // control's size; false if the window could not be created.
    bool createControlWindow(int x, int y);

    HINSTANCE instance = nullptr;
    int width = 0;
    int height = 0;
    HWND hwnd = nullptr;
    HWND parent = nullptr;

private:
    static LRESULT CALLBACK route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void buildClassName();
    void forgetWindow() noexcept;

    char className[128] = {};
};

// Copies a patch of `background` at (x, y) into `target` at (0, targetY).
void copyBackground(HDC target, int targetY, HBITMAP background, int x, int y, int width, int height) noexcept;

// Draws sprite (per-pixel premultiplied alpha) over target's top-left
// width x height, as the artwork intends it: source-over, fully opaque.
void blendOver(HDC target, HBITMAP sprite, int width, int height) noexcept;

// WM_PAINT and WM_PRINTCLIENT: paint into the device context the message
// carries, or else into the window's own between BeginPaint and EndPaint.
template <class Paint>
void paintMessage(HWND window, WPARAM wParam, Paint&& paint)
{
    if (wParam) {
        paint(reinterpret_cast<HDC>(wParam));
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paint(dc);
    EndPaint(window, &ps);
}

}  // namespace valvora
