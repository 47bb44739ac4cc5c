#pragma once
// 32-bit decimator/interpolator by 2, 4 and 8 around the reverb's and the
// speaker's convolutions: the engine's half-band allpass pair for factor 2,
// its 40-tap FIR for factor 4, both chained for factor 8. One object per
// direction, factor and channel (its state is one signal's history).
// Audio thread only; nothing is allocated after construction.

#include <xmmintrin.h>

#include <array>
#include <cstdint>

namespace valvora {

class RateConverter {
public:
    RateConverter() noexcept;
    virtual ~RateConverter() = default;

    // Blocks are in time order, oldest first.
    float down2(const float* block) noexcept;
    void up2(float x, float* block) noexcept;
    float down4(const float* block) noexcept;
    void up4(float x, float* block) noexcept;
    float down8(const float* block) noexcept;
    void up8(float x, float* block) noexcept;

private:
    static constexpr int sections = 4;
    static constexpr int firLength = 40;
    static constexpr int ringSize = 64;

    // The half-band's two allpass paths side by side, the even path in lane
    // 0 and the odd one in lane 1 (lanes 2 and 3 idle): every use feeds both
    // at once, and each lane does exactly the scalar 32-bit arithmetic.
    // A section's last input is the previous section's last output, so only
    // the first section's is kept.
    struct AllpassPaths {
        __m128 input;
        __m128 output[sections];
    };

    // Returns the even path's output for xEven in lane 0, the odd path's for
    // xOdd in lane 1.
    __m128 runPaths(float xEven, float xOdd) noexcept;
    // Newest-first ring: history_[position_ + j] is the sample j places back.
    void push(float x) noexcept;
    float firAt(int newestOffset) const noexcept;

    __m128 coefficients_[sections];
    std::array<float, firLength> fir_;
    AllpassPaths paths_;
    float history_[2 * ringSize] = {};
    int position_ = 0;
};

}  // namespace valvora
