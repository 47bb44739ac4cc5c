#include "engine/stages/ReverbStage.h"

#include "resources/ir/ImpulseResponses.h"

namespace valvora {

ReverbStage::ReverbStage()
{
    for (auto& convolver : convolvers_) convolver = std::make_unique<LongConvolver>();
    setPeriod(1.0 / 44100.0);
    convolvers_[0]->load(ir::reverbChannel0);
    // Both channels' blocks fall due in the same frames (channel 0 first):
    // channel 1's threads take both, with one wake-up.
    convolvers_[1]->serveAlso(*convolvers_[0]);
    convolvers_[1]->load(ir::reverbChannel1);
}

ReverbStage::~ReverbStage() = default;

void ReverbStage::setPeriod(double period) noexcept
{
    float rate = static_cast<float>(1.0 / period);
    int factor = 1;
    while (rate >= 40000.0f && factor <= 7) {
        factor *= 2;
        rate *= 0.5f;
    }
    factor_ = factor;
    for (auto& ch : channels_) ch.keepWithin(factor_);
}

void ReverbStage::convolveBlock(ReducedRateBlock& ch, int channel) noexcept
{
    LongConvolver& convolver = *convolvers_[channel];
    ch.convolve(factor_, [&convolver](float x) noexcept { return convolver.process(x); });
}

}  // namespace valvora
