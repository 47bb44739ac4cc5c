#include "plugin/AmpPlugin.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "plugin/EditorFactory.h"
#include "plugin/ProgramBank.h"

namespace valvora {

AmpPlugin::AmpPlugin(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, programCount, parameterCount)
{
    // Program 0 arrives through setParameter, so every bit of the mask is set
    // and the first block applies all parameters.
    const ProgramRecord& initial = factoryProgram(0);
    for (int i = 0; i < parameterCount; ++i) setParameter(i, initial.values[i]);
    beginChange();
    sampleRate = 44100.0f;
    snapshot.storeRate(sampleRate);  // the engine learns the rate on the first block
    endChange();
    // Test-only: VALVORA_AUDIO_TEST_HOOK=allocate or =lock makes every block
    // allocate and free, or take and release a lock, on the audio thread, so
    // that the real-time sanitizer suite can show that it catches both.
    if (const char* hook = std::getenv("VALVORA_AUDIO_TEST_HOOK")) {
        testHookAllocates = std::strcmp(hook, "allocate") == 0;
        testHookLocks = std::strcmp(hook, "lock") == 0;
    }
    blockSize = 256;
    isSynth(false);
    programsAreChunks(false);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(pluginUniqueId);
    canProcessReplacing(true);
    canDoubleReplacing(true);
    setInitialDelay(0);
    // The editor attaches itself; without one the plug-in works the same.
    createPluginEditor(this);
}

AmpPlugin::~AmpPlugin()
{
    closing.store(true);
    // The editor goes last (the base class deletes it), but its window must
    // close first: the Linux editor's own thread reads the parameters, and
    // would otherwise reach the lock and the engine while they are destroyed.
    if (editor) editor->close();
    // Waits for a host thread that may still be inside a parameter call.
    paramLock.enter();
    paramLock.leave();
}

void AmpPlugin::beginChange() noexcept
{
    paramLock.enter();
    snapshot.beginChange();
}

void AmpPlugin::endChange() noexcept
{
    snapshot.endChange();
    paramLock.leave();
}

void AmpPlugin::setSampleRate(float rate)
{
    if (!(rate > 10000.0f && rate < 200000.0f)) return;
    // Before the audio thread learns the rate: the tables it needs are then
    // ready when it does (a host calling from the audio thread pays here).
    engine.prepareRate(static_cast<double>(rate));
    beginChange();
    sampleRate = rate;
    snapshot.storeRate(rate);
    endChange();
}

void AmpPlugin::resume()
{
    float rate;
    {
        platform::ScopedLock hold(paramLock);
        rate = sampleRate;
    }
    engine.prepareRate(static_cast<double>(rate));  // at once when already prepared
}

void AmpPlugin::setBlockSize(VstInt32 size)
{
    if (size >= 1 && size <= 65536) blockSize = size;
}

void AmpPlugin::setParameter(VstInt32 index, float value)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(parameterCount)) return;
    beginChange();
    snapshot.store(index, value);
    endChange();
}

float AmpPlugin::getParameter(VstInt32 index)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(parameterCount)) return 0.0f;
    platform::ScopedLock hold(paramLock);
    return snapshot.value(index);
}

VstInt32 AmpPlugin::getProgram()
{
    platform::ScopedLock hold(paramLock);
    return curProgram;
}

void AmpPlugin::setProgram(VstInt32 program)
{
    if (static_cast<unsigned>(program) >= static_cast<unsigned>(programCount)) return;
    // paramLock is recursive: held across the whole switch, so two host
    // threads switching programs cannot interleave their store and reload,
    // and the audio thread takes the new program whole or not yet.
    beginChange();
    if (program != curProgram) {
        float values[parameterCount];
        for (int i = 0; i < parameterCount; ++i) values[i] = getParameter(i);
        ProgramBank& bank = ProgramBank::shared();
        bank.storeValues(curProgram, values);
        curProgram = program;
        bank.loadValues(program, values);
        for (int i = 0; i < parameterCount; ++i) snapshot.store(i, values[i]);
    }
    endChange();
}

void AmpPlugin::setProgramName(char* name)
{
    if (!name) return;
    ProgramBank::shared().setName(getProgram(), name);
}

void AmpPlugin::getProgramName(char* name)
{
    if (!name) return;
    char field[ProgramBank::nameLength];
    ProgramBank::shared().getName(getProgram(), field);
    copyHostText(name, field, ProgramBank::nameLength);
}

void AmpPlugin::getParameterLabel(VstInt32, char* label)
{
    if (label) copyHostText(label, "", kVstMaxParamStrLen);
}

void AmpPlugin::getParameterDisplay(VstInt32 index, char* text)
{
    if (!text || !parameterInfo(index)) return;
    formatParameterDisplay(index, getParameter(index), text);
}

void AmpPlugin::getParameterName(VstInt32 index, char* text)
{
    if (!text) return;
    const ParameterInfo* info = parameterInfo(index);
    copyHostText(text, info ? info->name : "Unknown", kVstMaxParamStrLen);
}

bool AmpPlugin::setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output)
{
    if (!input || !output) return false;
    hostChannels.store(std::min(input->numChannels, output->numChannels));
    return true;
}

bool AmpPlugin::getEffectName(char* name)
{
    copyFixedText(name, pluginEffectName, kVstMaxEffectNameLen);
    return name != nullptr;
}

bool AmpPlugin::getVendorString(char* text)
{
    copyFixedText(text, pluginVendorName, kVstMaxVendorStrLen);
    return text != nullptr;
}

bool AmpPlugin::getProductString(char* text)
{
    copyFixedText(text, pluginProductName, kVstMaxProductStrLen);
    return text != nullptr;
}

// ---- audio thread ------------------------------------------------------------

void AmpPlugin::takePendingChanges() noexcept
{
    float values[parameterCount] = {};
    float rate = 0.0f;
    const std::int32_t mask = snapshot.take(values, rate);
    block.applyChanges(values, mask, rate);
}

template <typename Sample>
void AmpPlugin::processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames) noexcept
{
    if (!inputs || !outputs || closing.load(std::memory_order_relaxed)) return;
    // The workers this thread waits for follow its scheduling (a real-time
    // audio thread makes them real-time at the same priority).
    if ((blocksProcessed++ & 255) == 0) platform::noteAudioThreadScheduling();
    if (testHookAllocates) {
        void* p = ::operator new(16);
        asm volatile("" : : "r"(p) : "memory");  // kept: an allocation the compiler may not drop
        ::operator delete(p);
    }
    if (testHookLocks) {
        testHookLock.enter();
        testHookLock.leave();
    }
    takePendingChanges();
    block.run(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames,
              hostChannels.load(std::memory_order_relaxed) == 2);
}

void AmpPlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}

void AmpPlugin::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}

}  // namespace valvora
