#include "tools/render/DemoAnalysis.h"

#include <cmath>
#include <fstream>
#include <numbers>

#include "tools/render/BlockRenderer.h"
#include "tools/render/HostSetup.h"
#include "tools/render/ParameterBinding.h"
#include "tools/render/RenderError.h"
#include "tools/render/SignalStats.h"

namespace valvora::render {

namespace {

// Small enough that no stage leaves its linear range, large enough to stay
// far above the effect's dither floor.
constexpr double kImpulseHeight = 1e-5;
constexpr double kImpulseSeconds = 1.5;
// Tube stages start from rest and settle to their bias point; that start-up
// transient has nothing to do with the response, so the impulse comes after
// it, and the same run without the impulse is subtracted.
constexpr double kSettleSeconds = 0.5;
constexpr double kSineHz = 220.0, kSineAmplitude = 0.25, kSineSeconds = 1.0;
constexpr int kProbeBlock = 512;

std::vector<double> renderLeft(const std::string& modulePath, const RenderOptions& options, int program,
                               double sampleRate, const std::vector<double>& input)
{
    PluginHost host;
    prepareProgram(host, modulePath, options, program);
    return renderInMemory(host, {sampleRate, kProbeBlock, true}, {input})[0];
}

}  // namespace

void prepareProgram(PluginHost& host, const std::string& modulePath, const RenderOptions& options, int program)
{
    loadEffect(host, modulePath);
    host.setProgram(program);
    for (const auto& assignment : options.settings) {
        const ParameterValue v = resolveSetting(host, assignment);
        host.setParameter(v.index, v.value);
    }
}

ProgramProbe probeProgram(const std::string& modulePath, const RenderOptions& options, int program,
                          double sampleRate)
{
    ProgramProbe probe;
    const auto settle = static_cast<std::size_t>(kSettleSeconds * sampleRate);
    std::vector<double> impulse(settle + static_cast<std::size_t>(kImpulseSeconds * sampleRate), 0.0);
    const std::vector<double> silence(impulse.size(), 0.0);
    impulse[settle] = kImpulseHeight;
    const auto withImpulse = renderLeft(modulePath, options, program, sampleRate, impulse);
    const auto without = renderLeft(modulePath, options, program, sampleRate, silence);
    probe.impulseResponse.resize(impulse.size() - settle);
    for (std::size_t n = 0; n < probe.impulseResponse.size(); ++n)
        probe.impulseResponse[n] = (withImpulse[settle + n] - without[settle + n]) / kImpulseHeight;

    std::vector<double> sine(static_cast<std::size_t>(kSineSeconds * sampleRate));
    for (std::size_t n = 0; n < sine.size(); ++n)
        sine[n] = kSineAmplitude * std::sin(2.0 * std::numbers::pi * kSineHz * static_cast<double>(n) / sampleRate);
    std::vector<double> out = renderLeft(modulePath, options, program, sampleRate, sine);
    // Judge the steady state only: the second half, after the filters settled.
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(out.size() / 2));
    probe.harmonicsDb = harmonicsDb(out, kSineHz, sampleRate);
    return probe;
}

double responseDb(const std::vector<double>& impulseResponse, double frequency, double sampleRate)
{
    const double amplitude = toneAmplitude(impulseResponse, frequency, sampleRate);
    const double magnitude = amplitude * static_cast<double>(impulseResponse.size()) / 2.0;
    return magnitude > 0.0 ? 20.0 * std::log10(magnitude) : -200.0;
}

void writeRawFloats(const std::string& path, const std::vector<double>& samples)
{
    std::ofstream file(path, std::ios::binary);
    for (double x : samples) {
        const auto f = static_cast<float>(x);
        file.write(reinterpret_cast<const char*>(&f), sizeof(f));
    }
    if (!file) throw RenderError(kExitOutput, "cannot write " + path);
}

}  // namespace valvora::render
