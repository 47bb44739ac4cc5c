#pragma once
// The plug-in object: the host-facing shell around AmpEngine. Host threads set
// and read parameters under paramLock; the audio thread only tries the lock
// once per block, takes the pending changes and runs the engine sample by
// sample without holding it.

#include <atomic>
#include <cstdint>

#include "engine/AmpEngine.h"
#include "platform/Threading.h"
#include "plugin/AudioEffect.h"
#include "plugin/Parameters.h"

namespace valvora {

constexpr VstInt32 pluginUniqueId = vstFourCC('K', 'V', 'Q', 'X');
constexpr VstInt32 pluginVendorVersion = 1000;
constexpr const char* pluginEffectName = "Valvora QX70";
constexpr const char* pluginVendorName = "Kelmo";
constexpr const char* pluginProductName = "Kelmo Valvora QX70";

// The parameter values and the mask of those changed since the audio thread
// last took them; bit 10 also marks a change of sample rate.
struct ParamSnapshot {
    float paramValues[parameterCount] = {};
    std::int32_t changedMask = 0;
};

class AmpPlugin : public AudioEffectX {
public:
    static constexpr VstInt32 programCount = 16;
    static constexpr std::int32_t sampleRateBit = 1 << paramOversample;

    // Host thread. Throws std::bad_alloc when memory runs out.
    explicit AmpPlugin(audioMasterCallback audioMaster);
    ~AmpPlugin() override;

    // Host threads.
    // Both prepare what the rate needs (AmpEngine::prepareRate) on the
    // calling thread, before the audio thread asks for it.
    void setSampleRate(float rate) override;
    void resume() override;
    void setBlockSize(VstInt32 size) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    VstInt32 getProgram() override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return pluginVendorVersion; }

    // Audio thread: never allocates, never waits for paramLock.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

    // Test access: the engine is the audio thread's; read it only between blocks.
    const AmpEngine& engineForTest() const noexcept { return engine; }
    platform::CriticalSection& paramLockForTest() noexcept { return paramLock; }
    int channelModeForTest() const noexcept { return channelMode; }

private:
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames) noexcept;
    void takePendingChanges() noexcept;
    void applyChanges(const float (&values)[parameterCount], std::int32_t mask, float rate) noexcept;

    std::atomic<bool> closing{false};
    AmpEngine engine;
    int channelMode = 1;                // audio thread only
    unsigned blocksProcessed = 0;       // audio thread only
    std::atomic<int> hostChannels{2};   // written by host threads
    platform::CriticalSection paramLock;
    ParamSnapshot snapshot;             // guarded by paramLock
};

}  // namespace valvora
