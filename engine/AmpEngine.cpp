#include "engine/AmpEngine.h"

#include <cmath>

#include "engine/ControlTaper.h"
#include "engine/WaveshaperTable.h"

namespace valvora {

namespace {
// Level trim of the normal channel ahead of its tube stage.
constexpr double normalInputTrim = 0.8911;
// Output gain of the normal channel: v·k / (v·50 + 2.2), the divider formed by
// the volume pot and the following stage's input.
constexpr double normalGainNumerator = 15.193370165745856;
// Scaling around the triode model, which works in volts at the grid.
constexpr double triodeInputScale = 100.0;
constexpr double triodeInterstageScale = 0.5;
constexpr double triodeOutputScale = 0.01;

// NaN and the infinities become 0: an infinite sample would otherwise turn
// every filter state it touches into NaN for good.
inline double finiteOrZero(double x) noexcept { return std::isfinite(x) ? x : 0.0; }
}  // namespace

AmpEngine::AmpEngine()
{
    reverb.setLevel(0.0);
    triode.setTubeType(2);
    triode.setCathodeCapacitance(1.2e-5);
    triode.setSupply(350.0);
    update();
}

AmpEngine::~AmpEngine() = default;

void AmpEngine::setNormalVolume(double x) noexcept
{
    normalVolume = tapers::normalVolume(x);
    dirty |= dirtyNormalVolume;
}

void AmpEngine::setDriveVolume(double x) noexcept
{
    if (x > 1.0) x = 1.0;
    driveVolumeGain = tapers::driveVolume(x);
}

void AmpEngine::setGain(double x) noexcept
{
    gainSetting = x;
    dirty |= dirtyGain;
}

void AmpEngine::setBass(double x) noexcept
{
    bassSetting = x;
    dirty |= dirtyTone;
}

void AmpEngine::setMiddle(double x) noexcept
{
    // The middle pot's taper reaches a singular circuit at 1.
    middleSetting = x > 0.99 ? 0.99 : x;
    dirty |= dirtyTone;
}

void AmpEngine::setTreble(double x) noexcept
{
    trebleSetting = x;
    dirty |= dirtyTone;
}

void AmpEngine::setRate(double rate) noexcept
{
    period = 1.0 / rate;
    dirty |= dirtyRate | dirtyNormalVolume | dirtyGain | dirtyTone;
}

void AmpEngine::setOversampling(bool on) noexcept
{
    oversampling = on;
    dirty |= dirtyRate | dirtyNormalVolume | dirtyGain | dirtyTone;
}

void AmpEngine::setTubeMode(bool on) noexcept
{
    if (on == tubeMode) return;
    tubeMode = on;
    driveTube.setVoicing(on);
    normalTube.setVoicing(on);
    dirty |= dirtyGain | dirtyTone;
}

void AmpEngine::update() noexcept
{
    const double tp = preampPeriod();
    if (dirty & dirtyRate) {
        inputStage.setPeriod(period);
        driveStage.setPeriod(period);
        outputLowPass.setPeriod(period);
        reverb.setPeriod(period);
        speaker.setPeriod(period);
        triode.setPeriod(tp);
        triode.resetCathodes();
        ++counts.rate;
    }
    if (dirty & dirtyNormalVolume) {
        normalTube.update(tp, normalVolume);
        normalGain = normalVolume * normalGainNumerator / (normalVolume * 50.0 + 2.2);
        ++counts.normalVolume;
    }
    if (dirty & dirtyGain) {
        const double g = tapers::gain(gainSetting);
        driveTube.update(tp, g);
        driveHighPass.update(tp, g);
        ++counts.gain;
    }
    if (dirty & dirtyTone) {
        toneStacks[tubeMode ? 1 : 0].setControls(tapers::bass(bassSetting), tapers::middle(middleSetting),
                                                  tapers::treble(trebleSetting), tp);
        ++counts.tone;
    }
    dirty = 0;
}

void AmpEngine::runPreamp(ChannelSample& s) noexcept
{
    const int ch = s.channel;
    double v = finiteOrZero(s.input) + noisePreamp.next();
    double y;
    if (driveChannel) {
        driveTube.process(v, ch);
        driveHighPass.process(v, ch);
        if (tubeMode) {
            v = triode.process(v * triodeInputScale, ch, 1);
            v = triode.process(v * triodeInterstageScale, ch + 2, 1);
            y = v * triodeOutputScale * driveVolumeGain;
        } else {
            const WaveshaperTable& shaper = WaveshaperTable::instance();
            y = v >= 0.0 ? shaper.lookup(v) : -shaper.lookup(-v);
            y *= driveVolumeGain;
        }
    } else {
        v *= normalInputTrim;
        normalTube.process(v, ch);
        y = v * normalGain;
    }
    toneStacks[tubeMode ? 1 : 0].process(y, ch);
    s.output = y;
}

void AmpEngine::process(ChannelSample& s) noexcept
{
    const int ch = s.channel;
    if (!enabled) {
        if (oversampling) {
            double block[Oversampler::factor];
            s.input = finiteOrZero(s.input) + noiseBypass.next();
            upsamplers[ch].up(s.input, block);
            s.output = downsamplers[ch].down(block);
        } else {
            s.output = s.input;  // bit-exact bypass, NaN included
        }
        return;
    }

    s.input = finiteOrZero(s.input) + noiseMain.next();
    inputStage.process(s.input, ch);
    if (driveChannel) driveStage.process(s.input, ch);

    if (oversampling) {
        double block[Oversampler::factor];
        upsamplers[ch].up(s.input, block);
        for (double& value : block) {
            s.input = value;
            runPreamp(s);
            value = s.output;
        }
        s.output = downsamplers[ch].down(block);
    } else {
        runPreamp(s);
    }

    outputLowPass.process(s.output, ch);
    reverb.process(s.output, ch);
    if (speakerOn) speaker.process(s.output, ch);
}

}  // namespace valvora
