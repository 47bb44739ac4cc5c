#pragma once
// The editor's knob: a fixed body over its panel patch and a numbered scale
// turned in software to the value (white light added onto the dark skirt).
// Window thread only.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "editor/controls/CLedDial.h"
#include "editor/controls/KnobRaster.h"

namespace valvora {

class CKnob : public CLedDial {
public:
    CKnob() = default;
    ~CKnob() override;

    // Composes body over the background at (x, y), reads the scale, and
    // creates the window; a missing body leaves the knob without a window.
    void create(HINSTANCE instance, HWND parent, HBITMAP background, int x, int y, int body, float centreX,
                float centreY, int overlay);
    void destroyWindow() override;

protected:
    bool LoadBitmaps(HBITMAP background, int body, int overlay, int x, int y) override;
    void paint(HDC dc) override;

private:
    void releaseImages() noexcept;

    KnobRaster raster;
    HDC compositeDc = nullptr;
    HBITMAP composite = nullptr;
    HGDIOBJ compositeOld = nullptr;
    std::uint8_t* compositeBits = nullptr;
    std::vector<std::uint8_t> pristine;
    std::vector<std::uint8_t> overlayPixels;
    std::vector<std::uint8_t> work;
};

}  // namespace valvora
