#pragma once
// Convolution reverb: adds the tail of the stored two-channel response, scaled
// by the reverb level, to the signal. Runs at a reduced internal rate (half
// the host rate at 44.1 and 48 kHz): blocks of 1, 2, 4 or 8 samples are taken
// down to one, convolved (taps 256 on, on the convolvers' worker threads) and
// expanded again. While the level is 0 the convolvers are not fed, so a tail
// in progress freezes and resumes later. Audio thread only after construction.

#include <cstdint>
#include <memory>

#include "convolution/ConvolverInput.h"
#include "convolution/LongConvolver.h"
#include "engine/DitherNoise.h"
#include "engine/stages/ReducedRateBlock.h"

namespace valvora {

class ReverbStage {
public:
    // Host thread: allocates both convolvers and loads the responses
    // (starting 14 worker threads). Throws std::bad_alloc; nothing is left
    // behind when it does.
    ReverbStage();
    virtual ~ReverbStage();
    ReverbStage(const ReverbStage&) = delete;
    ReverbStage& operator=(const ReverbStage&) = delete;

    void setLevel(double level) noexcept
    {
        level_ = static_cast<float>(level);
        // The level is held to [0, 1] as applied: NaN and everything below 0
        // (down to -inf) count as 0, everything beyond 1 as full level.
        gain_ = level_ > 1.0f ? 1.0f : (level_ > 0.0f ? level_ : 0.0f);
    }
    // T = 1 / host rate. Changes the factor only.
    void setPeriod(double period) noexcept;
    // Adds the wet signal to sample in place and returns it. Inline: called
    // for every sample of both channels, and only one call in `factor` (none
    // at level 0) reaches the convolver.
    double process(double& sample, int channel) noexcept
    {
        ReducedRateBlock& ch = channels_[channel & 1];
        sample = silenceNonFinite(sample) + dither_.next();
        const float level = gain_;
        if (ch.push(toConvolverInput(sample) * inputGain, factor_) && level > 0.0f)
            convolveBlock(ch, channel & 1);
        const float wet = ch.output() * level;
        sample += wet;
        return wet;
    }

    float level() const noexcept { return level_; }
    int factor() const noexcept { return factor_; }

private:
    static constexpr int channels = 2;
    static constexpr float inputGain = 1.4f;

    void convolveBlock(ReducedRateBlock& ch, int channel) noexcept;

    float level_ = 0.0f;
    float gain_ = 0.0f;  // level_ as applied
    std::unique_ptr<LongConvolver> convolvers_[channels];
    ReducedRateBlock channels_[channels];
    int factor_ = 2;
    DitherNoise dither_;
};

}  // namespace valvora
