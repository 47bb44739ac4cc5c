#pragma once
// 32-bit decimator/interpolator by 2, 4 and 8 around the reverb's and the
// speaker's convolutions: the engine's half-band allpass pair for factor 2,
// its 40-tap FIR for factor 4, both chained for factor 8. One object per
// direction, factor and channel (its state is one signal's history).
// Audio thread only; nothing is allocated after construction.

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

    struct AllpassPath {
        float input[sections] = {};
        float output[sections] = {};
    };

    float runPath(AllpassPath& path, const float* coefficients, float x) noexcept;
    float pathE(float x) noexcept { return runPath(pathE_, evenCoefficients_.data(), x); }
    float pathO(float x) noexcept { return runPath(pathO_, oddCoefficients_.data(), x); }
    // Newest-first ring: history_[position_ + j] is the sample j places back.
    void push(float x) noexcept;
    float firAt(int newestOffset) const noexcept;

    std::array<float, sections> evenCoefficients_;
    std::array<float, sections> oddCoefficients_;
    std::array<float, firLength> fir_;
    AllpassPath pathE_;
    AllpassPath pathO_;
    float history_[2 * ringSize] = {};
    int position_ = 0;
};

}  // namespace valvora
