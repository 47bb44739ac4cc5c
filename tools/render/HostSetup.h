#pragma once
// What every command does first: find and load the module, then put the
// effect into the program and settings the user asked for.

#include <string>

#include "tools/render/PluginHost.h"
#include "tools/render/RenderOptions.h"

namespace valvora::render {

// The module built beside this executable (bin/ValvoraQX70.so).
std::string defaultModulePath();
std::string modulePath(const RenderOptions& options);

// Throws RenderError(kExitModule) with the host's explanation.
void loadEffect(PluginHost& host, const std::string& path);

// --program first, then every --set in the order given (later ones win).
// Throws RenderError(kExitUsage).
void applyProgramAndSettings(PluginHost& host, const RenderOptions& options);

// The folder of the running executable, with a trailing slash.
std::string executableFolder();

}  // namespace valvora::render
