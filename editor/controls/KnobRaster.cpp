#include "editor/controls/KnobRaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace valvora {

namespace {

constexpr double kHalfSweep = 2.6179938;  // 150 degrees either side of the top

// Adds light w onto a dark pixel: the scale is white, so all three colour
// bytes take the brightened blue value; alpha is left alone.
inline void addLight(std::uint8_t* pixel, float w) noexcept
{
    if (w <= 0.0f) return;
    const float g = std::min(255.0f, w + static_cast<float>(pixel[0]));
    const auto byte = static_cast<std::uint8_t>(g);
    pixel[0] = byte;
    pixel[1] = byte;
    pixel[2] = byte;
}

// Integer cell and fraction of a coordinate, pinned to the buffer's edge.
inline void cell(float coordinate, int size, int& whole, float& fraction) noexcept
{
    whole = static_cast<int>(coordinate);
    fraction = coordinate - static_cast<float>(whole);
    if (whole <= 0) {
        whole = 0;
        fraction = 0.0f;
    }
    if (whole >= size - 1) {
        whole = size - 1;
        fraction = 0.0f;
    }
}

}  // namespace

KnobRaster::KnobRaster() noexcept
{
    for (int v = 0; v < kPositions; ++v) {
        const double a = v * 0.01;
        const double theta = a * kHalfSweep - (1.0 - a) * kHalfSweep;
        cos_[static_cast<std::size_t>(v)] = static_cast<float>(std::cos(theta));
        sin_[static_cast<std::size_t>(v)] = static_cast<float>(std::sin(theta));
    }
}

void KnobRaster::render(const std::uint8_t* pristine, const std::uint8_t* overlay, std::uint8_t* work, int width,
                        int height, float centreX, float centreY, int value) const noexcept
{
    if (!pristine || !overlay || !work || width <= 0 || height <= 0) return;
    const auto stride = static_cast<std::size_t>(width) * 4;
    std::memcpy(work, pristine, stride * static_cast<std::size_t>(height));
    const float c = cosine(value);
    const float s = sine(value);
    auto at = [&](int x, int y) { return work + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4; };

    for (int i = 0; i < height; ++i) {
        for (int j = 0; j < width; ++j) {
            const float a = overlay[static_cast<std::size_t>(i) * stride + static_cast<std::size_t>(j) * 4 + 3];
            if (a <= 1.0f) continue;
            const float dx = static_cast<float>(j) - centreX;
            const float dy = static_cast<float>(i) - centreY;
            int xi, yi;
            float fx, fy;
            cell(c * dx - s * dy + centreX, width, xi, fx);
            cell(c * dy + s * dx + centreY, height, yi, fy);
            // A zero weight never reaches a neighbour, so xi + 1 and yi + 1
            // are only touched inside the buffer.
            addLight(at(xi, yi), a * (1.0f - fx) * (1.0f - fy));
            if (fx > 0.0f) addLight(at(xi + 1, yi), a * fx * (1.0f - fy));
            if (fx > 0.0f && fy > 0.0f) addLight(at(xi + 1, yi + 1), a * fx * fy);
            if (fy > 0.0f) addLight(at(xi, yi + 1), a * (1.0f - fx) * fy);
        }
    }
}

}  // namespace valvora
