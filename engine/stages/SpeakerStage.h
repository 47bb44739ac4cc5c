#pragma once
// Cabinet simulation: the signal is replaced by its convolution with the
// selected cabinet's stored response, at an internal rate of 44.1 or 48 kHz
// (host rates of 88.2 kHz and up are taken down by 2 or 4 around the
// convolution). Zero latency at factor 1. Audio thread only after
// construction; setPeriod switches the convolvers to the other family's
// responses (transformed at construction; no thread is stopped or started)
// only when the rate family changes.

#include <cstdint>
#include <memory>

#include "convolution/ConvolverInput.h"
#include "convolution/ShortConvolver.h"
#include "engine/DitherNoise.h"
#include "engine/stages/ReducedRateBlock.h"

namespace valvora {

class SpeakerStage {
public:
    enum class Family : std::uint8_t { none, rate44k, rate48k };

    // Host thread: allocates the convolvers, transforms both families'
    // responses and takes the 44.1 kHz one (starting four worker threads). Throws std::bad_alloc; nothing is left
    // behind when it does.
    SpeakerStage();
    virtual ~SpeakerStage();
    SpeakerStage(const SpeakerStage&) = delete;
    SpeakerStage& operator=(const SpeakerStage&) = delete;

    // false: "1x10\"", true: "2x12\"". Takes effect on the next sample.
    void setCabinet(bool twelveInchPair) noexcept { cabinet_ = twelveInchPair ? 1 : 0; }
    // T = 1 / host rate.
    void setPeriod(double period) noexcept;
    // Inline: called for every sample of both channels, and only one call in
    // `factor` reaches the convolver.
    void process(double& sample, int channel) noexcept
    {
        ReducedRateBlock& ch = channels_[channel & 1];
        sample = silenceNonFinite(sample) + dither_.next();
        if (ch.push(toConvolverInput(sample), factor_)) convolveBlock(ch, channel & 1);
        sample = ch.output();
    }

    bool cabinet() const noexcept { return cabinet_ != 0; }
    int factor() const noexcept { return factor_; }
    Family loadedSet() const noexcept { return loadedSet_; }
    // How many times the responses were loaded (tests see reloads with it).
    unsigned loadCount() const noexcept { return loadCount_; }

private:
    static constexpr int channels = 2;
    static constexpr int maxFactor = 4;

    void convolveBlock(ReducedRateBlock& ch, int channel) noexcept;

    Family loadedSet_ = Family::none;
    // [cabinet flag][channel]
    std::unique_ptr<ShortConvolver> convolvers_[2][channels];
    ReducedRateBlock channels_[channels];
    int factor_ = 1;
    std::uint8_t cabinet_ = 0;
    unsigned loadCount_ = 0;
    DitherNoise dither_;
};

}  // namespace valvora
