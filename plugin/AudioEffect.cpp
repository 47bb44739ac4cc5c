#include "plugin/AudioEffect.h"

#include <cstring>

namespace {

// The record's entry functions: find the object, then forward. They accept a
// null record or a record without an object, which a confused host may pass.
VstIntPtr VSTCALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt)
{
    AudioEffect* fx = AudioEffect::fromEffect(e);
    if (!fx) return 0;
    if (opcode == effClose) {
        fx->dispatcher(opcode, index, value, ptr, opt);
        delete fx;
        return 1;
    }
    return fx->dispatcher(opcode, index, value, ptr, opt);
}

// The deprecated accumulating call does nothing: every 2.4 host uses the
// replacing calls, and adding into buffers we never own would be a guess.
void VSTCALLBACK processEntry(AEffect*, float**, float**, VstInt32) {}

void VSTCALLBACK processReplacingEntry(AEffect* e, float** in, float** out, VstInt32 frames)
{
    if (AudioEffect* fx = AudioEffect::fromEffect(e)) fx->processReplacing(in, out, frames);
}

void VSTCALLBACK processDoubleEntry(AEffect* e, double** in, double** out, VstInt32 frames)
{
    if (AudioEffect* fx = AudioEffect::fromEffect(e)) fx->processDoubleReplacing(in, out, frames);
}

void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value)
{
    if (AudioEffect* fx = AudioEffect::fromEffect(e)) fx->setParameter(index, value);
}

float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index)
{
    AudioEffect* fx = AudioEffect::fromEffect(e);
    return fx ? fx->getParameter(index) : 0.0f;
}

// ---- VST 1 opcodes: one small handler each -----------------------------------

using Handler = VstIntPtr (*)(AudioEffect&, VstInt32 index, VstIntPtr value, void* ptr, float opt);

VstIntPtr none(AudioEffect&, VstInt32, VstIntPtr, void*, float) { return 0; }

VstIntPtr onOpen(AudioEffect& fx, VstInt32, VstIntPtr, void*, float)
{
    fx.open();
    return 0;
}
VstIntPtr onClose(AudioEffect& fx, VstInt32, VstIntPtr, void*, float)
{
    fx.close();
    return 0;
}
VstIntPtr onSetProgram(AudioEffect& fx, VstInt32, VstIntPtr value, void*, float)
{
    if (value < 16 && value >= static_cast<VstIntPtr>(INT32_MIN)) fx.setProgram(static_cast<VstInt32>(value));
    return 0;
}
VstIntPtr onGetProgram(AudioEffect& fx, VstInt32, VstIntPtr, void*, float) { return fx.getProgram(); }
VstIntPtr onSetProgramName(AudioEffect& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    fx.setProgramName(static_cast<char*>(ptr));
    return 0;
}
VstIntPtr onGetProgramName(AudioEffect& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    fx.getProgramName(static_cast<char*>(ptr));
    return 0;
}
VstIntPtr onGetParamLabel(AudioEffect& fx, VstInt32 index, VstIntPtr, void* ptr, float)
{
    fx.getParameterLabel(index, static_cast<char*>(ptr));
    return 0;
}
VstIntPtr onGetParamDisplay(AudioEffect& fx, VstInt32 index, VstIntPtr, void* ptr, float)
{
    fx.getParameterDisplay(index, static_cast<char*>(ptr));
    return 0;
}
VstIntPtr onGetParamName(AudioEffect& fx, VstInt32 index, VstIntPtr, void* ptr, float)
{
    fx.getParameterName(index, static_cast<char*>(ptr));
    return 0;
}
VstIntPtr onSetSampleRate(AudioEffect& fx, VstInt32, VstIntPtr, void*, float opt)
{
    fx.setSampleRate(opt);
    return 0;
}
VstIntPtr onSetBlockSize(AudioEffect& fx, VstInt32, VstIntPtr value, void*, float)
{
    fx.setBlockSize(static_cast<VstInt32>(value));
    return 0;
}
VstIntPtr onMainsChanged(AudioEffect& fx, VstInt32, VstIntPtr value, void*, float)
{
    if (value)
        fx.resume();
    else
        fx.suspend();
    return 0;
}
VstIntPtr onEditGetRect(AudioEffect& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    AEffEditor* editor = fx.getEditor();
    if (!editor || !ptr) return 0;
    return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
}
VstIntPtr onEditOpen(AudioEffect& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    AEffEditor* editor = fx.getEditor();
    return editor && editor->open(ptr) ? 1 : 0;
}
VstIntPtr onEditClose(AudioEffect& fx, VstInt32, VstIntPtr, void*, float)
{
    if (AEffEditor* editor = fx.getEditor()) editor->close();
    return 0;
}
VstIntPtr onEditIdle(AudioEffect& fx, VstInt32, VstIntPtr, void*, float)
{
    if (AEffEditor* editor = fx.getEditor()) editor->idle();
    return 0;
}
VstIntPtr onIdentify(AudioEffect&, VstInt32, VstIntPtr, void*, float) { return vstFourCC('N', 'v', 'E', 'f'); }
VstIntPtr onGetChunk(AudioEffect& fx, VstInt32 index, VstIntPtr, void* ptr, float)
{
    return ptr ? fx.getChunk(static_cast<void**>(ptr), index != 0) : 0;
}
VstIntPtr onSetChunk(AudioEffect& fx, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    return ptr ? fx.setChunk(ptr, static_cast<VstInt32>(value), index != 0) : 0;
}

constexpr Handler vst1Handlers[effNumOpcodes] = {
    onOpen,          onClose,          onSetProgram,      onGetProgram,   onSetProgramName,
    onGetProgramName, onGetParamLabel, onGetParamDisplay, onGetParamName, none /* GetVu */,
    onSetSampleRate, onSetBlockSize,   onMainsChanged,    onEditGetRect,  onEditOpen,
    onEditClose,     none /* Draw */,  none /* Mouse */,  none /* Key */, onEditIdle,
    none /* Top */,  none /* Sleep */, onIdentify,        onGetChunk,     onSetChunk,
};

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams)
{
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
    cEffect.processDoubleReplacing = processDoubleEntry;
}

AudioEffect::~AudioEffect()
{
    // The editor detaches itself in its destructor (editor becomes null).
    delete editor;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (opcode < 0 || opcode >= effNumOpcodes) return 0;
    return vst1Handlers[opcode](*this, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}
