#pragma once
// The amplifier model: one input sample of one channel in, one output sample
// out, all in 64-bit floating point. Owns every stage and calls them in a
// fixed order; holds the settings in the form the stages need and recomputes
// coefficients only in update(), for the groups whose dirty flag is set.
// Everything here belongs to the audio thread.

#include <cstdint>
#include <memory>

#include "engine/ChannelSample.h"
#include "engine/DitherNoise.h"
#include "engine/Oversampler.h"
#include "engine/RatePreparation.h"
#include "engine/circuits/DriveHighPass.h"
#include "engine/circuits/DriveStage.h"
#include "engine/circuits/TubeStage.h"
#include "engine/stages/InputStage.h"
#include "engine/stages/OutputLowPass.h"
#include "engine/stages/ReverbStage.h"
#include "engine/stages/SpeakerStage.h"
#include "engine/tone/ToneStack.h"
#include "engine/tone/TriodeModel.h"

namespace valvora {

class AmpEngine {
public:
    enum Dirty : std::uint32_t {
        dirtyNormalVolume = 2,
        dirtyTone = 4,
        dirtyGain = 8,
        dirtyRate = 64,
    };
    static constexpr std::uint32_t dirtyAll = dirtyNormalVolume | dirtyTone | dirtyGain | dirtyRate;

    // Host thread, at plug-in construction: allocates every stage (the
    // convolvers start their worker threads) and computes all coefficients
    // for 44100 Hz. Throws std::bad_alloc when memory runs out.
    AmpEngine();
    virtual ~AmpEngine();
    AmpEngine(const AmpEngine&) = delete;
    AmpEngine& operator=(const AmpEngine&) = delete;

    // Setters: audio thread, at the start of a block; never allocate.
    void setEnabled(bool on) noexcept { enabled = on ? 1 : 0; }
    void setDriveChannel(bool on) noexcept { driveChannel = on; }
    void setNormalVolume(double x) noexcept;
    void setDriveVolume(double x) noexcept;
    void setGain(double x) noexcept;
    void setBass(double x) noexcept;
    void setMiddle(double x) noexcept;
    void setTreble(double x) noexcept;
    void setReverb(double x) noexcept { reverb.setLevel(x); }
    void setRate(double rate) noexcept;
    void setOversampling(bool on) noexcept;
    void setSpeakerSim(bool on) noexcept { speakerOn = on; }
    void setTubeMode(bool on) noexcept;
    void setSpeakerMode(bool on) noexcept { speaker.setCabinet(on); }

    // Host thread, where the host names the rate (VST 2: setSampleRate and
    // resume; LV2: instantiate and activate), safe while the audio thread
    // processes: builds the triode tables for `rate` at the host period and
    // at the 8x preamp period, so that the update for that rate, and every
    // Oversample switch at it, swaps ready tables. Allocates nothing; heavy
    // (3-4 ms). Rates already prepared return at once.
    void prepareRate(double rate) noexcept { preparation->prepare(rate); }

    // Audio thread: recomputes the dirty coefficient groups, then clears them.
    // Takes the triode tables prepared for the rate (a pointer swap) and
    // rebuilds them here only for a rate nobody prepared; a cabinet family
    // change reloads the cabinet spectra into the running convolvers.
    // Allocates nothing, creates and joins no thread.
    void update() noexcept;
    std::uint32_t dirtyFlags() const noexcept { return dirty; }

    // Audio thread, per sample and channel.
    void process(ChannelSample& s) noexcept;

    // Audio thread, one stereo frame: exactly process(left) then
    // process(right), bit for bit, with the two channels' preamps run side by
    // side. Each channel's preamp is one long chain of dependent steps; two
    // independent chains interleaved keep the processor busy while either
    // waits. Sets the records' channels to 0 and 1.
    void processFrame(ChannelSample& left, ChannelSample& right) noexcept;

    // Module-wide: whether process() and processFrame() run the variant
    // compiled for AVX processors (the default where the processor has it).
    // Both variants give the same results bit for bit. Returns the setting
    // in force: off where the processor lacks AVX. For tests and tools.
    static bool useWideInstructions(bool on) noexcept;

    // Read-only views for tests and tools.
    double samplePeriod() const noexcept { return period; }
    double preampPeriod() const noexcept { return oversampling ? period * 0.125 : period; }
    double gainSettingValue() const noexcept { return gainSetting; }
    double normalVolumeValue() const noexcept { return normalVolume; }
    double normalGainValue() const noexcept { return normalGain; }
    double driveVolumeGainValue() const noexcept { return driveVolumeGain; }
    double bassValue() const noexcept { return bassSetting; }
    double middleValue() const noexcept { return middleSetting; }
    double trebleValue() const noexcept { return trebleSetting; }
    bool isEnabled() const noexcept { return enabled != 0; }
    bool isDriveChannel() const noexcept { return driveChannel; }
    bool isTubeMode() const noexcept { return tubeMode; }
    bool isOversampling() const noexcept { return oversampling; }
    bool isSpeakerOn() const noexcept { return speakerOn; }
    const ReverbStage& reverbStage() const noexcept { return reverb; }
    const SpeakerStage& speakerStage() const noexcept { return speaker; }
    // Counts update() runs per group, so tests can see what was recomputed.
    struct UpdateCounts {
        unsigned rate = 0, normalVolume = 0, gain = 0, tone = 0;
        // Rate updates that found no prepared tables and rebuilt them on the audio thread.
        unsigned triodeRebuilds = 0;
    };
    const TriodeModel& triodeModel() const noexcept { return triode; }
    const RatePreparation& ratePreparation() const noexcept { return *preparation; }
    const UpdateCounts& updateCounts() const noexcept { return counts; }

private:
    // The generators one channel's preamp draws from, in their order.
    struct PreampNoise {
        DitherNoise preamp;
        DitherNoise triode;
    };
    double runPreamp(double input, int channel, PreampNoise& noise) noexcept;
    void runNormalPreampPair(double& left, double& right, PreampNoise& noiseLeft, PreampNoise& noiseRight) noexcept;
    void runDrivePreampPairs(double* left, double* right, int steps, PreampNoise& noiseLeft,
                             PreampNoise& noiseRight) noexcept;
    void runPreampPairs(double* left, double* right, int steps, PreampNoise& noiseLeft,
                        PreampNoise& noiseRight) noexcept;
    void runSample(ChannelSample& s) noexcept;
    void runFrame(ChannelSample& left, ChannelSample& right) noexcept;
    void processWide(ChannelSample& s) noexcept;
    void processFrameWide(ChannelSample& left, ChannelSample& right) noexcept;
    void runFront(ChannelSample& s) noexcept;
    void runBack(ChannelSample& s) noexcept;
    void runBypass(ChannelSample& s) noexcept;

    std::uint32_t dirty = dirtyAll;
    TubeStage normalTube{TubeStage::Configuration::Normal};
    InputStage inputStage;
    ToneStack toneStacks[2] = {ToneStack(0), ToneStack(1)};
    DriveStage driveStage;
    DriveHighPass driveHighPass;
    TubeStage driveTube{TubeStage::Configuration::Drive};
    OutputLowPass outputLowPass;
    ReverbStage reverb;
    SpeakerStage speaker;
    TriodeModel triode{4};
    std::unique_ptr<RatePreparation> preparation;
    bool driveChannel = false;
    bool speakerOn = false;
    bool tubeMode = false;
    Oversampler upsamplers[2];
    Oversampler downsamplers[2];
    bool oversampling = false;
    std::int32_t enabled = 1;
    double period = 1.0 / 44100.0;
    double gainSetting = 0.2;
    double normalVolume = 0.033958547;
    double bassSetting = 0.5;
    double middleSetting = 0.5;
    double trebleSetting = 0.5;
    double normalGain = 0.0;
    double driveVolumeGain = -0.159506;

    // One generator per use, per engine: a shared one would be a data race
    // between plug-in instances on different audio threads.
    DitherNoise noiseMain;
    DitherNoise noiseBypass;
    DitherNoise noisePreamp;
    UpdateCounts counts;

    static bool wideInstructions;
};

}  // namespace valvora
