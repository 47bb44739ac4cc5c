#include "editor/x11/LoadBitmapFromStream.h"

#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/Module.h"

namespace valvora {

namespace {
std::uint32_t littleEndian32(const unsigned char* bytes) noexcept
{
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}
constexpr std::uint32_t kLargest = 4096;  // no editor image comes near it
}  // namespace

PixelImage LoadBitmapFromStream(int id)
{
    const platform::ResourceBytes bytes = platform::findResource(id, "BGRA");
    if (!bytes) return {};
    if (bytes.size < 8) {
        platform::trace("PNGLOAD", "image header missing");
        return {};
    }
    const std::uint32_t width = littleEndian32(bytes.data);
    const std::uint32_t height = littleEndian32(bytes.data + 4);
    if (width == 0 || height == 0 || width > kLargest || height > kLargest ||
        bytes.size - 8 != static_cast<std::size_t>(width) * height * 4) {
        platform::trace("PNGLOAD", "image size does not match its pixels");
        return {};
    }
    PixelImage image(static_cast<int>(width), static_cast<int>(height));
    std::memcpy(image.pixels(), bytes.data + 8, image.byteCount());
    return image;
}

}  // namespace valvora
