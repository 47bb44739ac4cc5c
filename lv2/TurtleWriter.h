#pragma once
// The LV2 bundle's Turtle files, written from the parameter table and the
// factory programs at build time, so that names, defaults and preset values
// are stated once, in the code. Host-side build tool; allocates freely.

#include <string>

namespace valvora::lv2 {

// manifest.ttl: the plug-in with its binary, its UI with the UI's binary, and
// every preset, each pointing at the file that describes it.
std::string manifestTurtle(const std::string& binaryFileName, const std::string& uiBinaryFileName);
// The plug-in's description: identity, features and the 18 ports.
std::string pluginTurtle();
// The 16 factory programs as read-only presets.
std::string presetsTurtle();
// The UI: an X11 UI embedded in the host's window, driven by its idle calls,
// told of every control port's value.
std::string uiTurtle();

constexpr const char* pluginTurtleFileName = "valvora-qx70.ttl";
constexpr const char* presetsTurtleFileName = "presets.ttl";
constexpr const char* uiTurtleFileName = "valvora-qx70-ui.ttl";

// The shortest decimal that reads back as exactly this 32-bit float (through
// float or through double, as hosts differ), always with a decimal point, so
// a preset value is the program's value bit for bit: 0.33f -> "0.33", 1 -> "1.0".
std::string turtleNumber(float value);

}  // namespace valvora::lv2
