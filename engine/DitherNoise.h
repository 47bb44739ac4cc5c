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
        state_ = state_ * multiplier + increment;
        return static_cast<double>(state_) * scale;
    }
    std::uint32_t state() const noexcept { return state_; }

    // The generator as it will be after another `steps` draws, in one step:
    // lets two channels draw their runs side by side and still see exactly
    // the values one generator would give them one after the other.
    DitherNoise ahead(std::uint32_t steps) const noexcept
    {
        // Compose the recurrence with itself by squaring: (m, c) after n
        // draws, all modulo 2^32.
        std::uint32_t m = 1, c = 0, stepM = multiplier, stepC = increment;
        for (; steps != 0; steps >>= 1) {
            if (steps & 1u) {
                m *= stepM;
                c = c * stepM + stepC;
            }
            stepC = stepC * stepM + stepC;
            stepM *= stepM;
        }
        DitherNoise later;
        later.state_ = state_ * m + c;
        return later;
    }

private:
    static constexpr std::uint32_t multiplier = 1664525u;
    static constexpr std::uint32_t increment = 1013904223u;
    std::uint32_t state_ = 0;
};

}  // namespace valvora
