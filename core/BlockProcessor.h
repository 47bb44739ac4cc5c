#pragma once
// The audio entry shared by both plug-in formats: parameter changes reach the
// engine in one fixed order with one set of switch thresholds, and every
// frame runs through the engine the same way, so the same settings render
// the same samples whichever format the host loaded. Each format keeps only
// its own way of learning what changed (a locked snapshot for VST, control
// ports for LV2).

#include <cstdint>

#include "core/Parameters.h"
#include "engine/AmpEngine.h"

namespace valvora {

class BlockProcessor {
public:
    // Bit 10 (Oversample) of a change mask also stands for a new sample rate:
    // the engine's setRate and setOversampling always travel together.
    static constexpr std::int32_t sampleRateBit = 1 << paramOversample;
    static constexpr std::int32_t allChanged = (1 << parameterCount) - 1;

    explicit BlockProcessor(AmpEngine& engine) noexcept : engine_(engine) {}

    // Audio thread, at the start of a block: applies the parameters whose bit
    // is set in mask (none when mask is 0 or less), then runs the engine's
    // update if any coefficient group is dirty. Never allocates.
    void applyChanges(const float (&values)[parameterCount], std::int32_t mask, float rate) noexcept;

    // 1 or 2; 1 until a Channels value of 0.5 or more has been applied.
    int channelMode() const noexcept { return channelMode_; }

    // Audio thread: one block. Without a second input or output buffer only
    // output 0 is written; in stereo mode with a two-channel host each
    // channel runs through its own chain, otherwise input 0 runs once and
    // goes to both outputs. 32-bit samples are widened to 64 bits and the
    // results narrowed back; 64-bit samples pass unchanged.
    template <typename Sample>
    void run(const Sample* in0, const Sample* in1, Sample* out0, Sample* out1, std::int32_t frames,
             bool hostIsStereo) noexcept;

private:
    AmpEngine& engine_;
    int channelMode_ = 1;
};

template <typename Sample>
void BlockProcessor::run(const Sample* in0, const Sample* in1, Sample* out0, Sample* out1,
                         std::int32_t frames, bool hostIsStereo) noexcept
{
    if (frames <= 0 || !in0 || !out0) return;
    if (!in1 || !out1) {
        ChannelSample s;
        s.channel = 0;
        for (std::int32_t i = 0; i < frames; ++i) {
            s.input = static_cast<double>(in0[i]);
            engine_.process(s);
            out0[i] = static_cast<Sample>(s.output);
        }
    } else if (channelMode_ == 2 && hostIsStereo) {
        ChannelSample left, right;
        for (std::int32_t i = 0; i < frames; ++i) {
            // Both inputs are read before either output is written: hosts may
            // process in place with the channel buffers swapped or shared.
            left.input = static_cast<double>(in0[i]);
            right.input = static_cast<double>(in1[i]);
            engine_.processFrame(left, right);
            out0[i] = static_cast<Sample>(left.output);
            out1[i] = static_cast<Sample>(right.output);
        }
    } else {
        ChannelSample s;
        s.channel = 0;
        for (std::int32_t i = 0; i < frames; ++i) {
            s.input = static_cast<double>(in0[i]);
            engine_.process(s);
            const Sample y = static_cast<Sample>(s.output);
            out0[i] = y;
            out1[i] = y;
        }
    }
}

}  // namespace valvora
