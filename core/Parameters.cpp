#include "core/Parameters.h"

#include <cstdio>
#include <cstring>

namespace valvora {

namespace {
constexpr ParameterInfo table[parameterCount] = {
    {"Enable", ParameterKind::Switch, "ON", "OFF"},
    {"Channel", ParameterKind::Switch, "DRIVE", "NORM"},
    {"Normal Vol", ParameterKind::Continuous, nullptr, nullptr},
    {"Drive Volume", ParameterKind::Continuous, nullptr, nullptr},
    {"Gain", ParameterKind::Continuous, nullptr, nullptr},
    {"Bass", ParameterKind::Continuous, nullptr, nullptr},
    {"Middle", ParameterKind::Continuous, nullptr, nullptr},
    {"Treble", ParameterKind::Continuous, nullptr, nullptr},
    {"Reverb", ParameterKind::Continuous, nullptr, nullptr},
    {"Channels", ParameterKind::ChannelCount, nullptr, nullptr},
    {"Oversample", ParameterKind::Switch, "ON", "OFF"},
    {"SpeakerSim", ParameterKind::Switch, "ON", "OFF"},
    {"TubeMode", ParameterKind::Switch, "ON", "OFF"},
    {"SpeakerMode", ParameterKind::Switch, "2x12\"", "1x10\""},
};
constexpr std::size_t displayBufferSize = 8;
}  // namespace

const ParameterInfo* parameterInfo(int index) noexcept
{
    return static_cast<unsigned>(index) < static_cast<unsigned>(parameterCount) ? &table[index] : nullptr;
}

void formatParameterDisplay(int index, float value, char* text) noexcept
{
    const ParameterInfo* info = parameterInfo(index);
    if (!info || !text) return;
    switch (info->kind) {
        case ParameterKind::Switch:
            std::snprintf(text, displayBufferSize, "%s", switchIsOn(value) ? info->onText : info->offText);
            break;
        case ParameterKind::ChannelCount:
            std::snprintf(text, displayBufferSize, "%d", switchIsOn(value) ? 2 : 1);
            break;
        case ParameterKind::Continuous:
            // snprintf truncates where a fixed-size sprintf would overrun (1e30)
            // or abort; in-range values print exactly as "0.33".
            std::snprintf(text, displayBufferSize, "%.2f", static_cast<double>(value));
            break;
    }
}

void copyHostText(char* destination, const char* source, std::size_t limit) noexcept
{
    if (!destination) return;
    const std::size_t length = source ? strnlen(source, limit) : 0;
    if (length) std::memcpy(destination, source, length);
    std::memset(destination + length, 0, limit - length + 1);
}

void copyFixedText(char* destination, const char* source, std::size_t limit) noexcept
{
    if (!destination || limit == 0) return;
    std::size_t length = source ? strnlen(source, limit - 1) : 0;
    if (length) std::memcpy(destination, source, length);
    destination[length] = '\0';
}

}  // namespace valvora
