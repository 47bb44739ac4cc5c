#pragma once
// The command line of valvora-render. Parsing only checks form; names and
// values are checked against the loaded effect later (ParameterBinding).

#include <optional>
#include <string>
#include <vector>

namespace valvora::render {

enum class Command { Render, Demo, List, Bench, DemoInput, Help };

struct RenderOptions {
    Command command = Command::Demo;
    std::string input, output;  // Render: input and output files; DemoInput: output
    std::string demoDir = "out";
    std::string pluginPath;     // empty: the module next to the executable
    std::optional<std::string> program;
    std::vector<std::string> settings;  // "Name=value" as typed
    int blockSize = 512;
    bool doublePrecision = false;
    int outputChannels = 2;
    std::string outputSampleFormat;  // "", "16", "24", "32", "float"
    double demoSeconds = 0.0;        // 0: the whole performance
};

// Throws RenderError(kExitUsage) with a one-line reason.
RenderOptions parseArguments(const std::vector<std::string>& args);

const char* usageText();

}  // namespace valvora::render
