#pragma once
// One channel of a stage that convolves at a reduced internal rate (the
// reverb and the speaker): it collects `factor` host samples, reduces them to
// one, convolves that, and expands the result back to `factor` samples, which
// play out one per host sample from the block's last input on. Audio thread
// only; nothing is allocated.

#include "engine/stages/RateConverter.h"

namespace valvora {

class ReducedRateBlock {
public:
    static constexpr int maxFactor = 8;

    // Stores one 32-bit input; true when that completes a block of `factor`
    // samples (the caller then runs convolve()).
    bool push(float x, int factor) noexcept
    {
        block_[position_] = x;
        if (++position_ != factor) return false;
        position_ = 0;
        return true;
    }

    // The completed block reduced to one sample, through `convolution`
    // (float -> float), expanded again into the output block.
    template <typename Convolution>
    void convolve(int factor, Convolution&& convolution) noexcept
    {
        switch (factor) {
            case 2:
                up2_.up2(convolution(down2_.down2(block_)), outBlock_);
                break;
            case 4:
                up4_.up4(convolution(down4_.down4(block_)), outBlock_);
                break;
            case 8:
                up8_.up8(convolution(down8_.down8(block_)), outBlock_);
                break;
            default:
                outBlock_[0] = convolution(block_[0]);
                break;
        }
    }

    // The output for the sample just pushed.
    float output() const noexcept { return outBlock_[position_]; }

    // After a change of factor: a position at or beyond the new factor
    // restarts at 0, so the block logic never runs past its blocks.
    void keepWithin(int factor) noexcept
    {
        if (position_ >= factor) position_ = 0;
    }

private:
    RateConverter down2_, up2_, down4_, up4_, down8_, up8_;
    float block_[maxFactor] = {};
    float outBlock_[maxFactor] = {};
    int position_ = 0;
};

}  // namespace valvora
