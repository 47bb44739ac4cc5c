#pragma once
// The pictures of one lit button where the window system offers no
// compositing of its own: every frame of the sprite over the same patch of
// the panel, stacked as in the sprite. Window thread.

#include "editor/controls/PixelImage.h"

namespace valvora {

class ButtonImage {
public:
    // Frame height = sprite height / frames; false when nothing is left to show.
    bool compose(const PixelImage& background, int x, int y, const PixelImage& sprite, int frames);
    void clear() noexcept;
    bool composed() const noexcept { return !composed_.empty(); }

    int width() const noexcept { return composed_.width(); }
    int frameHeight() const noexcept { return frameHeight_; }
    // Where frame f lies in picture().
    PixelRect frame(int f) const noexcept { return {0, f * frameHeight_, composed_.width(), frameHeight_}; }
    const PixelImage& picture() const noexcept { return composed_; }

private:
    PixelImage composed_;
    int frameHeight_ = 0;
};

}  // namespace valvora
