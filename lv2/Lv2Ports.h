#pragma once
// The LV2 plug-in's identity and port layout, shared by the binary and the
// Turtle generator so that the description and the code cannot disagree.
// Constant data, any thread.

#include <cstdint>
#include <string>

#include "core/Parameters.h"

namespace valvora::lv2 {

constexpr const char* pluginUri = "http://kelmo.example/plugins/valvora-qx70";
constexpr const char* projectUri = "http://kelmo.example/projects/valvora-qx70";
// The panel, an X11 UI in a binary of its own so that hosts that never show
// a UI need not load the editor (nor libX11).
constexpr const char* uiUri = "http://kelmo.example/plugins/valvora-qx70#ui";
// Presets are named resources below the plug-in: <pluginUri>/presets/<n>.
constexpr const char* presetUriBase = "http://kelmo.example/plugins/valvora-qx70/presets/";

// Audio ports first, then one control input per parameter in parameter order.
enum AudioPort : std::uint32_t { portInLeft = 0, portInRight, portOutLeft, portOutRight, audioPortCount };
constexpr std::uint32_t firstControlPort = audioPortCount;
constexpr std::uint32_t portCount = firstControlPort + parameterCount;

struct AudioPortInfo {
    const char* symbol;
    const char* name;
    bool isInput;
};
constexpr AudioPortInfo audioPorts[audioPortCount] = {
    {"in_l", "In L", true},
    {"in_r", "In R", true},
    {"out_l", "Out L", false},
    {"out_r", "Out R", false},
};

// The control port's symbol for a parameter: its name in lower case with
// every other character made an underscore ("Normal Vol" -> "normal_vol").
// Symbols are what hosts store in sessions and presets, so they must never
// change once shipped.
inline std::string controlSymbol(int parameter)
{
    const ParameterInfo* info = parameterInfo(parameter);
    std::string symbol = info ? info->name : "";
    for (char& c : symbol) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            c = '_';
    }
    return symbol;
}

}  // namespace valvora::lv2
