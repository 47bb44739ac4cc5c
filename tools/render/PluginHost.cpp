#include "tools/render/PluginHost.h"

#include <cstring>

namespace valvora::render {

namespace {

// Text buffers far larger than the standard's limits: a careless effect that
// writes past its limit still lands inside our memory.
constexpr std::size_t kTextBuffer = 256;

using EntryPoint = AEffect* (*)(audioMasterCallback);

// We answer only what an offline renderer knows; 0 elsewhere means "not
// supported", which every effect must cope with.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    switch (opcode) {
        case audioMasterVersion: return kVstVersion;
        case audioMasterGetCurrentProcessLevel: return 4;  // offline
        default: return 0;
    }
}

}  // namespace

PluginHost::~PluginHost() { unload(); }

bool PluginHost::load(const std::string& modulePath)
{
    unload();
    if (!module_.open(modulePath.c_str())) {
        error_ = "cannot load module " + modulePath + ": " + module_.lastError();
        return false;
    }
    // DAWs look for the current name first and fall back to the legacy one.
    auto entry = reinterpret_cast<EntryPoint>(module_.symbol("VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryPoint>(module_.symbol("main"));
    if (!entry) {
        error_ = "module " + modulePath + " has no VSTPluginMain entry point";
        module_.close();
        return false;
    }
    AEffect* effect = entry(hostCallback);
    if (!effect) {
        error_ = "module " + modulePath + " returned no effect";
        module_.close();
        return false;
    }
    if (effect->magic != kEffectMagic || !effect->dispatcher) {
        error_ = "module " + modulePath + " returned something that is not a VST 2.4 effect";
        module_.close();  // never call into a record we do not understand
        return false;
    }
    effect_ = effect;
    dispatch(effOpen);
    error_.clear();
    return true;
}

void PluginHost::unload() noexcept
{
    if (effect_) {
        if (running_) stop();
        effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
        effect_ = nullptr;
    }
    module_.close();
}

bool PluginHost::canProcessDouble() const noexcept
{
    return (effect_->flags & effFlagsCanDoubleReplacing) != 0 && effect_->processDoubleReplacing != nullptr;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::text(VstInt32 opcode, VstInt32 index)
{
    char buffer[kTextBuffer] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[kTextBuffer - 1] = '\0';
    return buffer;
}

std::string PluginHost::parameterName(int index) { return text(effGetParamName, index); }
std::string PluginHost::parameterDisplay(int index) { return text(effGetParamDisplay, index); }
std::string PluginHost::programName() { return text(effGetProgramName, 0); }
std::string PluginHost::effectName() { return text(effGetEffectName, 0); }

float PluginHost::parameter(int index) { return effect_->getParameter(effect_, index); }
void PluginHost::setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }

int PluginHost::program() { return static_cast<int>(dispatch(effGetProgram)); }
void PluginHost::setProgram(int program) { dispatch(effSetProgram, 0, program); }

std::vector<std::string> PluginHost::programNames()
{
    const int current = program();
    std::vector<std::string> names;
    for (int i = 0; i < numPrograms(); ++i) {
        setProgram(i);
        names.push_back(programName());
    }
    setProgram(current);
    return names;
}

void PluginHost::start(double sampleRate, int maxBlock, bool doublePrecision)
{
    VstSpeakerArrangement input{}, output{};
    input.type = output.type = kSpeakerArrStereo;
    input.numChannels = output.numChannels = 2;
    dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    dispatch(effSetProcessPrecision, 0, doublePrecision ? 1 : 0);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    dispatch(effSetBlockSize, 0, maxBlock);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    running_ = true;
}

void PluginHost::stop()
{
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

void PluginHost::process(float** inputs, float** outputs, int frames) noexcept
{
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void PluginHost::process(double** inputs, double** outputs, int frames) noexcept
{
    effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
}

}  // namespace valvora::render
