#include "lv2/ui/PortMirror.h"

#include "core/FactoryPrograms.h"
#include "lv2/Lv2Ports.h"

namespace valvora::lv2 {

namespace {
bool isParameter(VstInt32 index) noexcept
{
    return index >= 0 && index < parameterCount;
}
}  // namespace

PortMirror::PortMirror(PortWrite write, void* controller)
    : AudioEffect(nullptr, 0, parameterCount), write_(write), controller_(controller)
{
    // The ports' defaults, until the host reports the instance's values.
    for (int p = 0; p < parameterCount; ++p) values_[p].store(factoryProgram(0).values[p]);
}

void PortMirror::portChanged(std::uint32_t port, float value) noexcept
{
    if (port < firstControlPort || port >= portCount) return;
    values_[port - firstControlPort].store(value);
}

float PortMirror::getParameter(VstInt32 index)
{
    return isParameter(index) ? values_[index].load() : 0.0f;
}

void PortMirror::setParameter(VstInt32 index, float value)
{
    if (isParameter(index)) values_[index].store(value);
}

void PortMirror::setParameterAutomated(VstInt32 index, float value)
{
    if (!isParameter(index)) return;
    values_[index].store(value);
    if (write_) write_(controller_, firstControlPort + static_cast<std::uint32_t>(index), value);
}

void PortMirror::processReplacing(float**, float**, VstInt32) {}

}  // namespace valvora::lv2
