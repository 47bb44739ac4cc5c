#include "editor/controls/PixelImage.h"

#include <algorithm>
#include <cstring>

namespace valvora {

PixelRect PixelRect::united(const PixelRect& other) const noexcept
{
    if (other.empty()) return *this;
    if (empty()) return other;
    const int left = std::min(x, other.x);
    const int top = std::min(y, other.y);
    const int right = std::max(x + width, other.x + other.width);
    const int bottom = std::max(y + height, other.y + other.height);
    return {left, top, right - left, bottom - top};
}

PixelRect PixelRect::intersected(const PixelRect& other) const noexcept
{
    const int left = std::max(x, other.x);
    const int top = std::max(y, other.y);
    const int right = std::min(x + width, other.x + other.width);
    const int bottom = std::min(y + height, other.y + other.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

PixelImage::PixelImage(int width, int height)
{
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
}

void PixelImage::copyFrom(const PixelImage& source, const PixelRect& area, int toX, int toY) noexcept
{
    // Clip the source rectangle to the source, then its image to the target.
    PixelRect from = area.intersected({0, 0, source.width_, source.height_});
    if (from.empty()) return;
    int destX = toX + (from.x - area.x);
    int destY = toY + (from.y - area.y);
    const PixelRect to =
        PixelRect{destX, destY, from.width, from.height}.intersected({0, 0, width_, height_});
    if (to.empty()) return;
    from.x += to.x - destX;
    from.y += to.y - destY;
    const auto rowBytes = static_cast<std::size_t>(to.width) * 4;
    for (int row = 0; row < to.height; ++row)
        std::memcpy(at(to.x, to.y + row), source.at(from.x, from.y + row), rowBytes);
}

void PixelImage::blendOver(const PixelImage& sprite) noexcept
{
    const int w = std::min(width_, sprite.width_);
    const int h = std::min(height_, sprite.height_);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = sprite.at(0, y);
        std::uint8_t* d = at(0, y);
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            const unsigned keep = 255u - s[3];
            // Premultiplied source-over, every channel alpha included, the
            // destination's share rounded to the nearest step.
            for (int c = 0; c < 4; ++c)
                d[c] = static_cast<std::uint8_t>(std::min(255u, s[c] + (d[c] * keep + 127u) / 255u));
        }
    }
}

}  // namespace valvora
