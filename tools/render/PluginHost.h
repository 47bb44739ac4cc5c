#pragma once
// A VST 2.4 host for one effect, as a DAW drives it: loads the module file,
// calls its exported entry point and talks to the effect only through the
// AEffect record. Portable (Linux .so and Windows .dll); used by the render
// tool, the Windows parity host and the tool's tests. One thread only.

#include <string>
#include <vector>

#include "platform/ModuleLoader.h"
#include "plugin/vst24.h"

namespace valvora::render {

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the module and constructs one effect. On failure returns false and
    // error() holds a one-line explanation; the host is then empty.
    bool load(const std::string& modulePath);
    const std::string& error() const noexcept { return error_; }
    void unload() noexcept;

    int numParams() const noexcept { return effect_->numParams; }
    int numPrograms() const noexcept { return effect_->numPrograms; }
    bool canProcessDouble() const noexcept;

    std::string parameterName(int index);
    std::string parameterDisplay(int index);
    float parameter(int index);
    void setParameter(int index, float value);

    int program();
    void setProgram(int program);
    std::string programName();
    // The names of all programs, read the only way the effect offers them:
    // select each, ask for its name, and return to the current one.
    std::vector<std::string> programNames();

    std::string effectName();

    // Brackets processing like a DAW's transport start and stop: stereo in
    // and out, the rate, the largest block and the sample precision first.
    void start(double sampleRate, int maxBlock, bool doublePrecision);
    void stop();
    void process(float** inputs, float** outputs, int frames) noexcept;
    void process(double** inputs, double** outputs, int frames) noexcept;

private:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    std::string text(VstInt32 opcode, VstInt32 index);

    platform::LoadedModule module_;
    AEffect* effect_ = nullptr;
    bool running_ = false;
    std::string error_;
};

}  // namespace valvora::render
