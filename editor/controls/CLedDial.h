#pragma once
// A dial window: owns the value and turns mouse drags into it (up raises,
// Shift snaps to tens, Ctrl-click recentres). It never notifies its parent;
// the editor's poll notices a value the user changed. Window thread only.

#include <windows.h>

#include "editor/controls/CBitmapControl.h"
#include "editor/controls/DialValue.h"

namespace valvora {

class CLedDial : public CBitmapControl {
public:
    CLedDial() = default;
    ~CLedDial() override;

    int getValue() const noexcept { return dialValue.value(); }
    void setValue(int value) noexcept { dialValue.setValue(value); }
    // The user moved the dial since it was last painted.
    bool changedSincePaint() const noexcept { return dialValue.needsRepaint(); }
    // Invalidates (no erase) only when the value differs from the painted one.
    void requestRepaint() noexcept;
    DialValue& dial() noexcept { return dialValue; }

protected:
    const char* classSuffix() const override { return "CLedDialWindowClass"; }
    int& instanceCounter() const override;
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual bool LoadBitmaps(HBITMAP background, int body, int overlay, int x, int y) = 0;
    virtual void paint(HDC dc) = 0;

    DialValue dialValue;
    float centreX = 0.0f;
    float centreY = 0.0f;
};

}  // namespace valvora
