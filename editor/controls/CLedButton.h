#pragma once
// A lit button drawn from a sprite of up to four frames stacked vertically,
// pre-composed over its patch of the panel. A click that changes its frame
// is reported to the parent as WM_USER + 1 (wParam id, lParam new state).
// Window thread only.

#include <windows.h>

#include "editor/controls/CBitmapControl.h"
#include "editor/controls/LedButtonModel.h"

namespace valvora {

class CLedButton : public CBitmapControl {
public:
    static constexpr UINT kClickMessage = WM_USER + 1;

    CLedButton() = default;
    ~CLedButton() override;

    // Composes the sprite over the background patch at (x, y) and creates the
    // window there. A missing or undecodable sprite leaves it without one.
    void create(HINSTANCE instance, HWND parent, HBITMAP background, int x, int y, int resource, int controlId,
                int frames);
    void destroyWindow() override;

    void setState(int s);
    int state() const noexcept { return model.state(); }

protected:
    const char* classSuffix() const override { return "CLedButtonWindowClass"; }
    int& instanceCounter() const override;
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool LoadBitmaps(HBITMAP background, int x, int y, int resource);
    void paint(HDC dc);

    LedButtonModel model;
    HBITMAP composed = nullptr;
    int frameHeight = 0;
};

}  // namespace valvora
