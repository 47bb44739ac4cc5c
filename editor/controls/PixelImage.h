#pragma once
// A picture in memory as the editor composes it: 32-bit premultiplied BGRA,
// top row first, width * height * 4 bytes. The Windows editor keeps its
// pictures in DIB sections; the Linux editor composes the same pictures
// here, with the same arithmetic, and hands the result to the window system.
// Window thread only.

#include <cstdint>
#include <vector>

namespace valvora {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const noexcept { return width <= 0 || height <= 0; }
    bool contains(int px, int py) const noexcept
    {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
    // The smallest rectangle holding both (an empty one adds nothing).
    PixelRect united(const PixelRect& other) const noexcept;
    PixelRect intersected(const PixelRect& other) const noexcept;
};

class PixelImage {
public:
    PixelImage() = default;
    // Transparent black of the given size (nothing for a size <= 0).
    PixelImage(int width, int height);

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    bool empty() const noexcept { return width_ <= 0 || height_ <= 0; }
    std::uint8_t* pixels() noexcept { return pixels_.data(); }
    const std::uint8_t* pixels() const noexcept { return pixels_.data(); }
    std::uint8_t* at(int x, int y) noexcept { return pixels_.data() + offset(x, y); }
    const std::uint8_t* at(int x, int y) const noexcept { return pixels_.data() + offset(x, y); }
    std::size_t byteCount() const noexcept { return pixels_.size(); }

    // Copies the size of `area` from source at area's position into this
    // image at (toX, toY), like a plain block copy: only what lies inside
    // both images is touched.
    void copyFrom(const PixelImage& source, const PixelRect& area, int toX, int toY) noexcept;

    // Draws sprite over this image's top-left corner, source-over with the
    // sprite's own premultiplied alpha, at full opacity: the blend Windows
    // applies to the same pixels, rounding included.
    void blendOver(const PixelImage& sprite) noexcept;

private:
    std::size_t offset(int x, int y) const noexcept
    {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(x)) *
               4;
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace valvora
