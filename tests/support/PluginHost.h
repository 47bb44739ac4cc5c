#pragma once
// A minimal VST 2.4 host for tests: loads the built module FILE through its
// exported entry point (no link to the plug-in's code) and drives it like a
// DAW. Records every host callback the plug-in makes.

#include <mutex>
#include <string>
#include <vector>

#include "platform/ModuleLoader.h"
#include "plugin/vst24.h"

namespace valvora::test {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

class PluginHost {
public:
    using EntryPoint = AEffect* (*)(audioMasterCallback);

    explicit PluginHost(const char* modulePath);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    bool loaded() const { return module_.isOpen(); }
    const char* loadError() const { return module_.lastError(); }
    EntryPoint entry(const char* name = "VSTPluginMain") const;

    // Creates one instance; the host answers audioMasterVersion with `version`.
    AEffect* open(VstIntPtr version = 2400, const char* entryName = "VSTPluginMain");
    // effClose on the open instance (if any); returns the dispatcher's answer.
    VstIntPtr close();
    AEffect* effect() const { return effect_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    std::string text(VstInt32 opcode, VstInt32 index = 0, std::size_t bufferSize = 256);
    void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }
    void process(float** in, float** out, VstInt32 frames) { effect_->processReplacing(effect_, in, out, frames); }
    void process(double** in, double** out, VstInt32 frames)
    {
        effect_->processDoubleReplacing(effect_, in, out, frames);
    }

    std::vector<HostCall> calls() const;
    void clearCalls();

private:
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);

    platform::LoadedModule module_;
    AEffect* effect_ = nullptr;
    VstIntPtr versionAnswer_ = 2400;
    mutable std::mutex callsLock_;
    std::vector<HostCall> calls_;
};

}  // namespace valvora::test
