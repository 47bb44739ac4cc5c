#pragma once
// How the convolution stages take a 64-bit sample into their 32-bit
// convolvers. NaN and infinities become 0, and finite values are limited far
// above any real signal (about +180 dB), so that no input can put an infinity
// into a convolver's history, where it would turn every later block into NaN.

#include <algorithm>
#include <cmath>

namespace valvora {

inline constexpr double convolverInputLimit = 1e9;

inline double silenceNonFinite(double x) noexcept
{
    return std::isfinite(x) ? x : 0.0;
}

inline float toConvolverInput(double x) noexcept
{
    return static_cast<float>(std::clamp(x, -convolverInputLimit, convolverInputLimit));
}

}  // namespace valvora
