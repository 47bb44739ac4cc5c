#pragma once
// Turns what a user types (--program "hi-gain", --set "Drive Volume=0.4",
// --set TubeMode=on) into program and parameter numbers, using only what the
// effect reports about itself. Failures throw RenderError(kExitUsage).

#include <string>
#include <vector>

#include "tools/render/PluginHost.h"

namespace valvora::render {

struct ParameterValue {
    int index = 0;
    float value = 0.0f;
};

// A program number, or a program name in any letter case.
int resolveProgram(const std::vector<std::string>& programNames, const std::string& spec);

// The parameter whose reported name is `name` in any letter case. Effects
// report at most 8 characters, so a longer name matches the parameter whose
// reported name is its first 8 characters ("Drive Volume" -> "Drive Vo").
int resolveParameter(PluginHost& host, const std::string& name);

// A value 0..1, or one of the texts the parameter displays at 0 and at 1
// (its switch words, e.g. "on", "drive", "1x10\"").
float resolveValue(PluginHost& host, int index, const std::string& text);

ParameterValue resolveSetting(PluginHost& host, const std::string& assignment);

}  // namespace valvora::render
