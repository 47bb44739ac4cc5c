#pragma once
#include <cstdint>

namespace valvora {

// The tiny positive offset every dithered stage adds to its input: a 32-bit
// linear congruential generator scaled by 1e-19 (below 4.3e-10). It keeps
// filter states away from the denormal range during silence; its exact
// sequence carries no meaning, so every owner keeps its own generator and no
// state is shared between threads.
class DitherNoise {
public:
    static constexpr double scale = 1e-19;

    double next() noexcept
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_) * scale;
    }
    std::uint32_t state() const noexcept { return state_; }

private:
    std::uint32_t state_ = 0;
};

}  // namespace valvora
