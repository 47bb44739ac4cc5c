#include "plugin/AudioEffect.h"

namespace {

using Handler = VstIntPtr (*)(AudioEffectX&, VstInt32 index, VstIntPtr value, void* ptr, float opt);

VstIntPtr none(AudioEffectX&, VstInt32, VstIntPtr, void*, float) { return 0; }

VstIntPtr onProcessEvents(AudioEffectX& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    return ptr ? fx.processEvents(static_cast<VstEvents*>(ptr)) : 0;
}
VstIntPtr onCanBeAutomated(AudioEffectX& fx, VstInt32 index, VstIntPtr, void*, float)
{
    return fx.canParameterBeAutomated(index) ? 1 : 0;
}
VstIntPtr onString2Parameter(AudioEffectX& fx, VstInt32 index, VstIntPtr, void* ptr, float)
{
    return ptr && fx.string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
}
VstIntPtr onGetProgramNameIndexed(AudioEffectX& fx, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    return ptr && fx.getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
}
VstIntPtr onGetPlugCategory(AudioEffectX& fx, VstInt32, VstIntPtr, void*, float) { return fx.getPlugCategory(); }
VstIntPtr onSetSpeakerArrangement(AudioEffectX& fx, VstInt32, VstIntPtr value, void* ptr, float)
{
    return fx.setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                    static_cast<VstSpeakerArrangement*>(ptr))
               ? 1
               : 0;
}
VstIntPtr onGetSpeakerArrangement(AudioEffectX& fx, VstInt32, VstIntPtr value, void* ptr, float)
{
    return fx.getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                    static_cast<VstSpeakerArrangement**>(ptr))
               ? 1
               : 0;
}
VstIntPtr onSetBypass(AudioEffectX& fx, VstInt32, VstIntPtr value, void*, float)
{
    return fx.setBypass(value != 0) ? 1 : 0;
}
VstIntPtr onGetEffectName(AudioEffectX& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    return ptr && fx.getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
}
VstIntPtr onGetVendorString(AudioEffectX& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    return ptr && fx.getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
}
VstIntPtr onGetProductString(AudioEffectX& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    return ptr && fx.getProductString(static_cast<char*>(ptr)) ? 1 : 0;
}
VstIntPtr onGetVendorVersion(AudioEffectX& fx, VstInt32, VstIntPtr, void*, float) { return fx.getVendorVersion(); }
VstIntPtr onVendorSpecific(AudioEffectX& fx, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return fx.vendorSpecific(index, value, ptr, opt);
}
VstIntPtr onCanDo(AudioEffectX& fx, VstInt32, VstIntPtr, void* ptr, float)
{
    return ptr ? fx.canDo(static_cast<char*>(ptr)) : 0;
}
VstIntPtr onGetTailSize(AudioEffectX& fx, VstInt32, VstIntPtr, void*, float) { return fx.getGetTailSize(); }
VstIntPtr onGetVstVersion(AudioEffectX& fx, VstInt32, VstIntPtr, void*, float) { return fx.getVstVersion(); }
VstIntPtr onEditKeyDown(AudioEffectX& fx, VstInt32 index, VstIntPtr value, void*, float opt)
{
    return fx.editKey(true, index, value, opt);
}
VstIntPtr onEditKeyUp(AudioEffectX& fx, VstInt32 index, VstIntPtr value, void*, float opt)
{
    return fx.editKey(false, index, value, opt);
}
VstIntPtr onSetEditKnobMode(AudioEffectX& fx, VstInt32, VstIntPtr value, void*, float)
{
    return fx.editKnobMode(value);
}
VstIntPtr onGetCurrentMidiProgram(AudioEffectX& fx, VstInt32, VstIntPtr, void*, float)
{
    return fx.getCurrentMidiProgram();
}
VstIntPtr onSetTotalSampleToProcess(AudioEffectX& fx, VstInt32, VstIntPtr value, void*, float)
{
    return fx.setTotalSampleToProcess(value);
}

constexpr VstInt32 firstX = effProcessEvents;
constexpr VstInt32 lastX = effGetNumMidiOutputChannels;

// Indexed by opcode - 25. Unlisted 2.x opcodes (offline, MIDI programs,
// properties, pan law, precision...) are not supported and answer 0.
constexpr Handler vst2Handlers[lastX - firstX + 1] = {
    onProcessEvents,          // 25 effProcessEvents
    onCanBeAutomated,         // 26
    onString2Parameter,       // 27
    none,                     // 28 effGetNumProgramCategories
    onGetProgramNameIndexed,  // 29
    none, none, none,         // 30-32 copy program, connect input/output
    none, none,               // 33-34 input/output properties
    onGetPlugCategory,        // 35
    none, none,               // 36-37
    none, none, none, none,   // 38-41 offline, var io
    onSetSpeakerArrangement,  // 42
    none,                     // 43 effSetBlockSizeAndSampleRate
    onSetBypass,              // 44
    onGetEffectName,          // 45
    none,                     // 46 effGetErrorText
    onGetVendorString,        // 47
    onGetProductString,       // 48
    onGetVendorVersion,       // 49
    onVendorSpecific,         // 50
    onCanDo,                  // 51
    onGetTailSize,            // 52
    none, none, none,         // 53-55 idle, icon, view position
    none,                     // 56 effGetParameterProperties
    none,                     // 57 effKeysRequired
    onGetVstVersion,          // 58
    onEditKeyDown,            // 59
    onEditKeyUp,              // 60
    onSetEditKnobMode,        // 61
    none,                     // 62 effGetMidiProgramName
    onGetCurrentMidiProgram,  // 63
    none, none, none,         // 64-66
    none, none,               // 67-68 begin/end set program
    onGetSpeakerArrangement,  // 69
    none, none, none,         // 70-72 shell, start/stop process
    onSetTotalSampleToProcess,  // 73
    none, none, none, none,   // 74-77 pan law, load bank/program, precision
    none, none,               // 78-79 MIDI channels
};

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (opcode >= firstX && opcode <= lastX) return vst2Handlers[opcode - firstX](*this, index, value, ptr, opt);
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}

VstIntPtr AudioEffectX::editKey(bool down, VstInt32 character, VstIntPtr virtualKey, float modifier)
{
    AEffEditor* ed = getEditor();
    if (!ed) return 0;
    VstKeyCode key{};
    key.character = character;
    key.virt = static_cast<unsigned char>(virtualKey);
    key.modifier = (modifier >= 0.0f && modifier < 256.0f) ? static_cast<unsigned char>(modifier) : 0;
    return (down ? ed->onKeyDown(key) : ed->onKeyUp(key)) ? 1 : 0;
}

VstIntPtr AudioEffectX::editKnobMode(VstIntPtr mode)
{
    AEffEditor* ed = getEditor();
    return ed && ed->setKnobMode(static_cast<VstInt32>(mode)) ? 1 : 0;
}
