#pragma once
// The measurements behind the demo's summary table and picture: each
// program's small-signal impulse response (its magnitude response), its
// harmonics on a steady sine, and the showcase chord's waveform. Each probe
// runs on a fresh instance so no reverb tail leaks from one into another.

#include <string>
#include <vector>

#include "tools/render/PluginHost.h"
#include "tools/render/RenderOptions.h"

namespace valvora::render {

struct ProgramProbe {
    std::vector<double> impulseResponse;  // left output for a small impulse, divided by its height
    double harmonicsDb = 0.0;             // harmonics 2..15 of a -12 dBFS 220 Hz sine, re the fundamental
};

// Renders both probes through `program` at `sampleRate`.
ProgramProbe probeProgram(const std::string& modulePath, const RenderOptions& options, int program,
                          double sampleRate);

// |H(f)| in dB from an impulse response.
double responseDb(const std::vector<double>& impulseResponse, double frequency, double sampleRate);

// Loads the module and selects `program` plus the user's --set values.
void prepareProgram(PluginHost& host, const std::string& modulePath, const RenderOptions& options, int program);

void writeRawFloats(const std::string& path, const std::vector<double>& samples);

}  // namespace valvora::render
