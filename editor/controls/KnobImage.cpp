#include "editor/controls/KnobImage.h"

namespace valvora {

bool KnobImage::compose(const PixelImage& background, int x, int y, const PixelImage& body,
                        const PixelImage& scale)
{
    clear();
    if (body.empty()) return false;
    pristine_ = PixelImage(body.width(), body.height());
    pristine_.copyFrom(background, {x, y, body.width(), body.height()}, 0, 0);
    pristine_.blendOver(body);
    scale_ = PixelImage(body.width(), body.height());
    if (scale.width() == body.width() && scale.height() == body.height()) scale_ = scale;
    work_ = pristine_;
    return true;
}

void KnobImage::clear() noexcept
{
    pristine_ = PixelImage();
    scale_ = PixelImage();
    work_ = PixelImage();
}

const PixelImage& KnobImage::render(int value, float centreX, float centreY) noexcept
{
    if (composed())
        raster_.render(pristine_.pixels(), scale_.pixels(), work_.pixels(), work_.width(), work_.height(),
                       centreX, centreY, value);
    return work_;
}

}  // namespace valvora
