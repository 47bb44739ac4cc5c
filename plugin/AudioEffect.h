#pragma once
// The standard's plug-in base classes. AudioEffect owns the effect record the
// host sees, forwards the record's entry functions to virtual operations and
// answers the VST 1 opcodes; AudioEffectX adds the 2.x opcodes. Defaults
// answer "not supported" (0) unless the standard defines another answer.

#include "plugin/AEffEditor.h"
#include "plugin/vst24.h"

class AudioEffect {
public:
    // Host thread, from the module entry; fills the record.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Host threads: every opcode goes through here.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    virtual void setSampleRate(float sampleRate) { this->sampleRate = sampleRate; }
    virtual void setBlockSize(VstInt32 blockSize) { this->blockSize = blockSize; }

    // Audio thread.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames)
    {
        (void)inputs, (void)outputs, (void)sampleFrames;
    }

    // Any host thread; the editor calls setParameterAutomated on the window thread.
    virtual void setParameter(VstInt32 index, float value) { (void)index, (void)value; }
    virtual float getParameter(VstInt32 index)
    {
        (void)index;
        return 0.0f;
    }
    // Sets the value, then tells the host so that it records the change.
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) { (void)name; }
    virtual void getProgramName(char* name)
    {
        if (name) *name = 0;
    }
    virtual void getParameterLabel(VstInt32 index, char* label) { (void)index, (void)label; }
    virtual void getParameterDisplay(VstInt32 index, char* text) { (void)index, (void)text; }
    virtual void getParameterName(VstInt32 index, char* text) { (void)index, (void)text; }
    virtual VstInt32 getChunk(void** data, bool isPreset)
    {
        (void)data, (void)isPreset;
        return 0;
    }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset)
    {
        (void)data, (void)byteSize, (void)isPreset;
        return 0;
    }

    virtual void setEditor(AEffEditor* newEditor) { editor = newEditor; }
    // What an editor does to attach itself (or, with null, to detach): it
    // becomes the effect's editor, and the record's flags say so.
    void attachEditor(AEffEditor* newEditor)
    {
        setEditor(newEditor);
        hasEditor(newEditor != nullptr);
    }
    virtual AEffEditor* getEditor() { return editor; }

    AEffect* getAeffect() { return &cEffect; }
    static AudioEffect* fromEffect(AEffect* effect)
    {
        return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
    }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }

    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    void canDoubleReplacing(bool state = true) { setFlag(effFlagsCanDoubleReplacing, state); }
    void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
    void hasEditor(bool state) { setFlag(effFlagsHasEditor, state); }

    // Calls the host unless it gave no callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

protected:
    void setFlag(VstInt32 flag, bool state)
    {
        cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
    }

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    virtual VstInt32 processEvents(VstEvents* events)
    {
        (void)events;
        return 0;
    }
    virtual bool canParameterBeAutomated(VstInt32 index)
    {
        (void)index;
        return true;
    }
    virtual bool string2parameter(VstInt32 index, char* text)
    {
        (void)index, (void)text;
        return false;
    }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text)
    {
        (void)category, (void)index, (void)text;
        return false;
    }
    virtual VstPlugCategory getPlugCategory()
    {
        return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
    }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output)
    {
        (void)input, (void)output;
        return false;
    }
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
    {
        if (input) *input = nullptr;
        if (output) *output = nullptr;
        return false;
    }
    virtual bool setBypass(bool onOff)
    {
        (void)onOff;
        return false;
    }
    virtual bool getEffectName(char* name)
    {
        (void)name;
        return false;
    }
    virtual bool getVendorString(char* text)
    {
        (void)text;
        return false;
    }
    virtual bool getProductString(char* text)
    {
        (void)text;
        return false;
    }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg)
    {
        (void)lArg, (void)lArg2, (void)ptrArg, (void)floatArg;
        return 0;
    }
    virtual VstInt32 canDo(char* text)
    {
        (void)text;
        return 0;
    }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual VstInt32 getCurrentMidiProgram() { return -1; }
    virtual VstIntPtr setTotalSampleToProcess(VstIntPtr value) { return value; }

    // Host window thread: the editor's key and knob-mode hooks.
    VstIntPtr editKey(bool down, VstInt32 character, VstIntPtr virtualKey, float modifier);
    VstIntPtr editKnobMode(VstIntPtr mode);
};
