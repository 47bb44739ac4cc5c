#pragma once
// The 16 factory programs: the one table both plug-in formats read (the VST
// bank's initial contents, the LV2 presets). Constant data, any thread.

#include "core/Parameters.h"

namespace valvora {

constexpr int factoryProgramCount = 16;
constexpr int programNameLength = 24;

struct ProgramRecord {
    char name[programNameLength];  // zero-padded; a 24-character name has no terminator
    float values[parameterCount];
};

// Program 0 for a number outside 0..15.
const ProgramRecord& factoryProgram(int program) noexcept;

}  // namespace valvora
