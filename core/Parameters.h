#pragma once
// The 14 automatable parameters as the host sees them: names, kinds and the
// display texts. Pure functions, callable from any thread.

#include <cstddef>

namespace valvora {

enum ParameterIndex : int {
    paramEnable = 0,
    paramChannel,
    paramNormalVolume,
    paramDriveVolume,
    paramGain,
    paramBass,
    paramMiddle,
    paramTreble,
    paramReverb,
    paramChannels,
    paramOversample,
    paramSpeakerSim,
    paramTubeMode,
    paramSpeakerMode,
    parameterCount
};

enum class ParameterKind { Switch, Continuous, ChannelCount };

struct ParameterInfo {
    const char* name;
    ParameterKind kind;
    const char* onText;   // switches: shown from 0.5 on
    const char* offText;  // switches: shown below 0.5
};

// Null for an index outside 0..13.
const ParameterInfo* parameterInfo(int index) noexcept;

// A switch is on from 0.5; NaN and negative values read as off.
inline bool switchIsOn(float value) noexcept { return value >= 0.5f; }

// The text the host shows for a value, written with bounded formatting into a
// buffer of 8 bytes (7 characters and a terminator at most), whatever the value.
void formatParameterDisplay(int index, float value, char* text) noexcept;

// Copies at most `limit` characters of source, zero-fills the rest of the first
// `limit` bytes and terminates at index `limit` (the host's buffer is limit + 1).
void copyHostText(char* destination, const char* source, std::size_t limit) noexcept;

// Copies a short fixed string and its terminator only, at most limit - 1
// characters: some hosts pass buffers of exactly `limit` bytes.
void copyFixedText(char* destination, const char* source, std::size_t limit) noexcept;

}  // namespace valvora
