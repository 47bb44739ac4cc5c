#pragma once
// The plug-in as the editor sees it inside an LV2 UI. The editor was made for
// a VST effect object: it reads parameters with getParameter and writes the
// user's changes with setParameterAutomated. Here the values are the control
// ports' last values as the host reported them, and a write goes out through
// the host's port-write function, so the same editor serves both formats.
// Values are read and written on the host's UI thread, or on the editor's
// own thread while the host does not call idle; they are atomics for that.

#include <atomic>
#include <cstdint>

#include "core/Parameters.h"
#include "plugin/AudioEffect.h"

namespace valvora::lv2 {

class PortMirror : public AudioEffect {
public:
    // Writes port `port` (the control port's index) with one float.
    using PortWrite = void (*)(void* controller, std::uint32_t port, float value);

    PortMirror(PortWrite write, void* controller);

    // The host's port event: a control port's current value.
    void portChanged(std::uint32_t port, float value) noexcept;

    float getParameter(VstInt32 index) override;
    void setParameter(VstInt32 index, float value) override;
    // The user's change: kept, and sent to the plug-in's port.
    void setParameterAutomated(VstInt32 index, float value) override;

    // Never called: the UI has no audio.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

private:
    PortWrite write_;
    void* controller_;
    std::atomic<float> values_[parameterCount];
};

}  // namespace valvora::lv2
