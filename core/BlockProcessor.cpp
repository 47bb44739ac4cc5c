#include "core/BlockProcessor.h"

namespace valvora {

void BlockProcessor::applyChanges(const float (&v)[parameterCount], std::int32_t mask, float rate) noexcept
{
    if (mask > 0) {
        auto changed = [mask](int index) { return (mask & (1 << index)) != 0; };
        auto wide = [&v](int index) { return static_cast<double>(v[index]); };
        // Rate and oversampling first: the knob updates below are computed
        // for the periods these two set.
        if (changed(paramOversample)) {
            engine_.setRate(rate);
            engine_.setOversampling(switchIsOn(v[paramOversample]));
        }
        if (changed(paramNormalVolume)) engine_.setNormalVolume(wide(paramNormalVolume));
        if (changed(paramDriveVolume)) engine_.setDriveVolume(wide(paramDriveVolume));
        if (changed(paramGain)) engine_.setGain(wide(paramGain));
        if (changed(paramBass)) engine_.setBass(wide(paramBass));
        if (changed(paramMiddle)) engine_.setMiddle(wide(paramMiddle));
        if (changed(paramTreble)) engine_.setTreble(wide(paramTreble));
        if (changed(paramReverb)) engine_.setReverb(wide(paramReverb));
        if (changed(paramEnable)) engine_.setEnabled(switchIsOn(v[paramEnable]));
        if (changed(paramChannel)) engine_.setDriveChannel(switchIsOn(v[paramChannel]));
        if (changed(paramChannels)) channelMode_ = switchIsOn(v[paramChannels]) ? 2 : 1;
        if (changed(paramSpeakerSim)) engine_.setSpeakerSim(switchIsOn(v[paramSpeakerSim]));
        if (changed(paramTubeMode)) engine_.setTubeMode(switchIsOn(v[paramTubeMode]));
        if (changed(paramSpeakerMode)) engine_.setSpeakerMode(switchIsOn(v[paramSpeakerMode]));
    }
    if (engine_.dirtyFlags() != 0) engine_.update();
}

}  // namespace valvora
