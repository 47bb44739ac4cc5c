#pragma once
// The pictures of one knob where the window system offers no compositing of
// its own: the body over its patch of the panel (the pristine composite),
// the numbered scale, and the picture of the current value. Window thread.

#include "editor/controls/KnobRaster.h"
#include "editor/controls/PixelImage.h"

namespace valvora {

class KnobImage {
public:
    // The body blended over the background patch at (x, y); the scale is kept
    // only when it has the body's size (any other would turn about the wrong
    // centre, and the knob then shows its body alone). False without a body.
    bool compose(const PixelImage& background, int x, int y, const PixelImage& body, const PixelImage& scale);
    void clear() noexcept;
    bool composed() const noexcept { return !pristine_.empty(); }

    // The knob at value 0..100, turned about (centreX, centreY).
    const PixelImage& render(int value, float centreX, float centreY) noexcept;
    const PixelImage& picture() const noexcept { return work_; }

private:
    KnobRaster raster_;
    PixelImage pristine_;
    PixelImage scale_;
    PixelImage work_;
};

}  // namespace valvora
