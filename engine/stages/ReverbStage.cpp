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
    for (auto& ch : channels_)
        if (ch.position >= factor_) ch.position = 0;  // keep the block logic inside its blocks
}

double ReverbStage::process(double& sample, int channel) noexcept
{
    Channel& ch = channels_[channel & 1];
    sample = finiteOrZero(sample) + dither_.next();
    ch.block[ch.position] = toConvolverInput(sample) * inputGain;
    const float level = gain_;
    if (++ch.position == factor_) {
        ch.position = 0;
        if (level > 0.0f) {
            LongConvolver& convolver = *convolvers_[channel & 1];
            switch (factor_) {
                case 2:
                    ch.up2.up2(convolver.process(ch.down2.down2(ch.block)), ch.outBlock);
                    break;
                case 4:
                    ch.up4.up4(convolver.process(ch.down4.down4(ch.block)), ch.outBlock);
                    break;
                case 8:
                    ch.up8.up8(convolver.process(ch.down8.down8(ch.block)), ch.outBlock);
                    break;
                default:
                    ch.outBlock[0] = convolver.process(ch.block[0]);
                    break;
            }
        }
    }
    const float wet = ch.outBlock[ch.position] * level;
    sample += wet;
    return wet;
}

}  // namespace valvora
