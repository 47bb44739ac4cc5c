#include "engine/stages/ReverbStage.h"

#include <cmath>

#include "convolution/ConvolverInput.h"
#include "resources/ir/ImpulseResponses.h"

namespace valvora {

ReverbStage::ReverbStage()
{
    for (auto& convolver : convolvers_) convolver = std::make_unique<LongConvolver>();
    setPeriod(1.0 / 44100.0);
    convolvers_[0]->load(ir::reverbChannel0);
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

double ReverbStage::process(double& sample, int channel) noexcept
{
    ReducedRateBlock& ch = channels_[channel & 1];
    sample = finiteOrZero(sample) + dither_.next();
    const float level = gain_;
    if (ch.push(toConvolverInput(sample) * inputGain, factor_) && level > 0.0f) {
        LongConvolver& convolver = *convolvers_[channel & 1];
        ch.convolve(factor_, [&convolver](float x) noexcept { return convolver.process(x); });
    }
    const float wet = ch.output() * level;
    sample += wet;
    return wet;
}

}  // namespace valvora
