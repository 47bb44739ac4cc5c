#include "editor/controls/ButtonImage.h"

namespace valvora {

bool ButtonImage::compose(const PixelImage& background, int x, int y, const PixelImage& sprite, int frames)
{
    clear();
    if (sprite.empty() || frames <= 0) return false;
    const int height = sprite.height() / frames;
    if (height <= 0) return false;
    composed_ = PixelImage(sprite.width(), frames * height);
    for (int f = 0; f < frames; ++f)
        composed_.copyFrom(background, {x, y, sprite.width(), height}, 0, f * height);
    composed_.blendOver(sprite);
    frameHeight_ = height;
    return true;
}

void ButtonImage::clear() noexcept
{
    composed_ = PixelImage();
    frameHeight_ = 0;
}

}  // namespace valvora
