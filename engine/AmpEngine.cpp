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

// What a host sample may be, in the engine's terms: NaN and the infinities
// become 0 (an infinite sample would otherwise turn every filter state it
// touches into NaN for good), and finite samples beyond +80 dB full scale are
// held there. Without the limit a burst of 1e30 left the input stage ringing
// down from 1e30 for seconds, and the oversampler handed what it last took
// from it to the bypass path (1e9 on silent input after an Enable switch).
// Every sample an audio interface or a mix can carry is far below the limit
// and passes unchanged, bit for bit.
constexpr double hostInputLimit = 1e4;
inline double finiteOrZero(double x) noexcept { return std::isfinite(x) ? x : 0.0; }
inline double limitHostInput(double x) noexcept
{
    if (std::fabs(x) <= hostInputLimit) return x;
    return std::isnan(x) ? 0.0 : (std::isinf(x) ? 0.0 : std::copysign(hostInputLimit, x));
}
}  // namespace

AmpEngine::AmpEngine()
{
    reverb.setLevel(0.0);
    triode.setTubeType(2);
    triode.setCathodeCapacitance(1.2e-5);
    triode.setSupply(350.0);
    preparation = std::make_unique<RatePreparation>(triode.circuitAt(period));
    prepareRate(44100.0);  // the rate `period` starts at
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
        const RatePreparation::Set* set = preparation->find(period);
        if (!set || !triode.use(oversampling ? set->preamp : set->host)) {
            triode.setPeriod(tp);  // a rate the host did not announce: built here
            ++counts.triodeRebuilds;
        }
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

// Everything of the preamp ahead of the tone stack, which the callers run
// per sample or per block.
[[gnu::always_inline]] inline double AmpEngine::runPreamp(double input, int ch, PreampNoise& noise) noexcept
{
    double v = finiteOrZero(input) + noise.preamp.next();
    double y;
    if (driveChannel) {
        driveTube.process(v, ch);
        driveHighPass.process(v, ch);
        if (tubeMode) {
            v = triode.process(v * triodeInputScale, ch, 1, noise.triode);
            v = triode.process(v * triodeInterstageScale, ch + 2, 1, noise.triode);
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
    return y;
}

// The paired preamps below skip runPreamp()'s NaN test: a stereo frame hands
// them only finite values (the front stages limit their inputs, and the
// upsampler its own, far below the overflow threshold), so the test could
// never change a sample there.

// The normal channel's preamp, ahead of the tone stack, on channel 0 then
// channel 1, bit for bit as runPreamp() gives it, with the tube stage
// stepping both channels in one pass.
[[gnu::always_inline]] inline void AmpEngine::runNormalPreampPair(double& left, double& right, PreampNoise& noiseLeft,
                                                                 PreampNoise& noiseRight) noexcept
{
    double l = (left + noiseLeft.preamp.next()) * normalInputTrim;
    double r = (right + noiseRight.preamp.next()) * normalInputTrim;
    normalTube.processPair(l, r);
    left = l * normalGain;
    right = r * normalGain;
}

// The drive channel's preamp steps (eight with oversampling, else one) of
// both channels, the same as runPreamp() on each, bit for bit, with every
// stage's state held in registers for the whole run: each state is a chain
// from sample to sample, and a store and reload would lengthen every link.
[[gnu::always_inline]] inline void AmpEngine::runDrivePreampPairs(double* left, double* right, int steps,
                                                                 PreampNoise& noiseLeft,
                                                                 PreampNoise& noiseRight) noexcept
{
    TubeStage::HeldStates tube = driveTube.hold();
    __m128d highPass = driveHighPass.hold();
    if (tubeMode) {
        double plate[4], cathode[4];
        for (int stage = 0; stage < 4; ++stage) {
            plate[stage] = triode.state(stage).plate;
            cathode[stage] = triode.state(stage).cathode;
        }
#pragma GCC unroll 8
        for (int k = 0; k < steps; ++k) {
            double l = left[k] + noiseLeft.preamp.next();
            double r = right[k] + noiseRight.preamp.next();
            driveTube.processPair(l, r, tube);
            driveHighPass.processPair(l, r, highPass);
            l = triode.processHeld(l * triodeInputScale, noiseLeft.triode, plate[0], cathode[0], 1);
            r = triode.processHeld(r * triodeInputScale, noiseRight.triode, plate[1], cathode[1], 1);
            l = triode.processHeld(l * triodeInterstageScale, noiseLeft.triode, plate[2], cathode[2], 1);
            r = triode.processHeld(r * triodeInterstageScale, noiseRight.triode, plate[3], cathode[3], 1);
            left[k] = l * triodeOutputScale * driveVolumeGain;
            right[k] = r * triodeOutputScale * driveVolumeGain;
        }
        for (int stage = 0; stage < 4; ++stage) triode.storeVoltages(stage, plate[stage], cathode[stage]);
    } else {
        const WaveshaperTable& shaper = WaveshaperTable::instance();
        for (int k = 0; k < steps; ++k) {
            double l = left[k] + noiseLeft.preamp.next();
            double r = right[k] + noiseRight.preamp.next();
            driveTube.processPair(l, r, tube);
            driveHighPass.processPair(l, r, highPass);
            left[k] = (l >= 0.0 ? shaper.lookup(l) : -shaper.lookup(-l)) * driveVolumeGain;
            right[k] = (r >= 0.0 ? shaper.lookup(r) : -shaper.lookup(-r)) * driveVolumeGain;
        }
    }
    driveTube.release(tube);
    driveHighPass.release(highPass);
}

// The preamp ahead of the tone stack for `steps` samples of both channels.
[[gnu::always_inline]] inline void AmpEngine::runPreampPairs(double* left, double* right, int steps,
                                                            PreampNoise& noiseLeft, PreampNoise& noiseRight) noexcept
{
    if (driveChannel)
        runDrivePreampPairs(left, right, steps, noiseLeft, noiseRight);
    else
        for (int k = 0; k < steps; ++k) runNormalPreampPair(left[k], right[k], noiseLeft, noiseRight);
}

[[gnu::always_inline]] inline void AmpEngine::runBypass(ChannelSample& s) noexcept
{
    const int ch = s.channel;
    if (oversampling) {
        double block[Oversampler::factor];
        s.input = limitHostInput(s.input) + noiseBypass.next();
        upsamplers[ch].up(s.input, block);
        s.output = downsamplers[ch].down(block);
    } else {
        s.output = s.input;  // bit-exact bypass, NaN included
    }
}

[[gnu::always_inline]] inline void AmpEngine::runFront(ChannelSample& s) noexcept
{
    s.input = limitHostInput(s.input) + noiseMain.next();
    inputStage.process(s.input, s.channel);
    if (driveChannel) driveStage.process(s.input, s.channel);
}

[[gnu::always_inline]] inline void AmpEngine::runBack(ChannelSample& s) noexcept
{
    outputLowPass.process(s.output, s.channel);
    reverb.process(s.output, s.channel);
    if (speakerOn) speaker.process(s.output, s.channel);
}

[[gnu::always_inline]] inline void AmpEngine::runSample(ChannelSample& s) noexcept
{
    if (!enabled) {
        runBypass(s);
        return;
    }
    const int ch = s.channel;
    runFront(s);
    PreampNoise noise{noisePreamp, triode.ditherNoise()};
    if (oversampling) {
        alignas(16) double block[Oversampler::factor];
        upsamplers[ch].up(s.input, block);
        for (double& value : block) value = runPreamp(value, ch, noise);
        toneStacks[tubeMode ? 1 : 0].processBlock(block, ch);
        s.output = downsamplers[ch].downFinite(block);
    } else {
        s.output = runPreamp(s.input, ch, noise);
        toneStacks[tubeMode ? 1 : 0].process(s.output, ch);
    }
    noisePreamp = noise.preamp;
    triode.ditherNoise() = noise.triode;
    runBack(s);
}

[[gnu::always_inline]] inline void AmpEngine::runFrame(ChannelSample& left, ChannelSample& right) noexcept
{
    left.channel = 0;
    right.channel = 1;
    if (!enabled) {
        runBypass(left);
        runBypass(right);
        return;
    }
    runFront(left);
    runFront(right);

    // The right channel's draws start where the left channel's will end.
    // (Constant jump lengths, so that each jump folds to one multiply-add.)
    const bool triodes = driveChannel && tubeMode;
    PreampNoise noiseLeft{noisePreamp, triode.ditherNoise()};
    PreampNoise noiseRight{noiseLeft.preamp, noiseLeft.triode};
    if (oversampling) {
        noiseRight.preamp = noiseLeft.preamp.ahead(Oversampler::factor);
        if (triodes) noiseRight.triode = noiseLeft.triode.ahead(2 * Oversampler::factor);
    } else {
        noiseRight.preamp = noiseLeft.preamp.ahead(1);
        if (triodes) noiseRight.triode = noiseLeft.triode.ahead(2);
    }
    if (oversampling) {
        alignas(16) double blockLeft[Oversampler::factor];
        alignas(16) double blockRight[Oversampler::factor];
        upsamplers[0].up(left.input, blockLeft);
        upsamplers[1].up(right.input, blockRight);
        runPreampPairs(blockLeft, blockRight, Oversampler::factor, noiseLeft, noiseRight);
        toneStacks[tubeMode ? 1 : 0].processBlockPair(blockLeft, blockRight);
        left.output = downsamplers[0].downFinite(blockLeft);
        right.output = downsamplers[1].downFinite(blockRight);
    } else {
        left.output = left.input;
        right.output = right.input;
        runPreampPairs(&left.output, &right.output, 1, noiseLeft, noiseRight);
        toneStacks[tubeMode ? 1 : 0].processPair(left.output, right.output);
    }
    noisePreamp = noiseRight.preamp;
    triode.ditherNoise() = noiseRight.triode;
    runBack(left);
    runBack(right);
}

namespace {
// Whether the processor and its operating system run AVX code. The chain is
// compiled a second time for it: the same SSE2 arithmetic in the
// three-operand encodings, which need far fewer register copies.
bool detectWideInstructions() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}
const bool wideInstructionsAvailable = detectWideInstructions();
}  // namespace

bool AmpEngine::wideInstructions = wideInstructionsAvailable;

bool AmpEngine::useWideInstructions(bool on) noexcept
{
    wideInstructions = on && wideInstructionsAvailable;
    return wideInstructions;
}

void AmpEngine::process(ChannelSample& s) noexcept
{
    if (wideInstructions)
        processWide(s);
    else
        runSample(s);
}

void AmpEngine::processFrame(ChannelSample& left, ChannelSample& right) noexcept
{
    if (wideInstructions)
        processFrameWide(left, right);
    else
        runFrame(left, right);
}

[[gnu::target("avx")]] void AmpEngine::processWide(ChannelSample& s) noexcept { runSample(s); }

[[gnu::target("avx")]] void AmpEngine::processFrameWide(ChannelSample& left, ChannelSample& right) noexcept
{
    runFrame(left, right);
}

}  // namespace valvora
