#pragma once
// The plug-in object: the host-facing shell around AmpEngine. Host threads set
// and read parameters under paramLock, which only they take; the audio thread
// takes the pending changes from the ParamSnapshot once per block without any
// lock and runs the engine sample by sample.

#include <atomic>
#include <cstdint>

#include "core/BlockProcessor.h"
#include "core/ParamSnapshot.h"
#include "core/ProductIdentity.h"
#include "engine/AmpEngine.h"
#include "platform/Threading.h"
#include "plugin/AudioEffect.h"
#include "plugin/Parameters.h"

namespace valvora {

constexpr VstInt32 pluginUniqueId = identity::uniqueId;
constexpr VstInt32 pluginVendorVersion = identity::vendorVersion;
constexpr const char* pluginEffectName = identity::effectName;
constexpr const char* pluginVendorName = identity::vendorName;
constexpr const char* pluginProductName = identity::productName;

class AmpPlugin : public AudioEffectX {
public:
    static constexpr VstInt32 programCount = 16;
    static constexpr std::int32_t sampleRateBit = BlockProcessor::sampleRateBit;

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

    // Audio thread: never allocates, never takes a lock.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

    // Test access: the engine is the audio thread's; read it only between blocks.
    const AmpEngine& engineForTest() const noexcept { return engine; }
    // Test access: a host thread inside a change, as during a program switch
    // (takes paramLock; the audio thread leaves the pending changes alone).
    void beginChangeForTest() noexcept { beginChange(); }
    void endChangeForTest() noexcept { endChange(); }
    int channelModeForTest() const noexcept { return block.channelMode(); }

private:
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames) noexcept;
    void takePendingChanges() noexcept;
    // Host threads: enter and leave paramLock around a change of the snapshot.
    void beginChange() noexcept;
    void endChange() noexcept;

    std::atomic<bool> closing{false};
    AmpEngine engine;
    BlockProcessor block{engine};       // audio thread only
    unsigned blocksProcessed = 0;       // audio thread only
    bool testHookAllocates = false;     // see the constructor
    bool testHookLocks = false;
    platform::CriticalSection testHookLock;
    std::atomic<int> hostChannels{2};   // written by host threads
    platform::CriticalSection paramLock;
    ParamSnapshot snapshot;             // written under paramLock
};

}  // namespace valvora
