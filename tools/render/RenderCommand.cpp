// Rendering one file, listing the effect, and writing the built-in input.

#include <csignal>
#include <cstdio>

#include <atomic>

#include "tools/render/AudioFile.h"
#include "tools/render/Commands.h"
#include "tools/render/CpuClock.h"
#include "tools/render/DemoPerformance.h"
#include "tools/render/HostSetup.h"
#include "tools/render/MeteringStreams.h"
#include "tools/render/ProgressBar.h"
#include "tools/render/RenderError.h"

namespace valvora::render {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

// The effect ignores sample rates outside (10000, 200000) Hz and would go on
// at its previous rate: refuse such files instead of rendering them wrongly.
constexpr int kLowestRateExclusive = 10000;
constexpr int kHighestRateExclusive = 200000;

void checkSampleRate(int rate, const std::string& path)
{
    if (rate <= kLowestRateExclusive || rate >= kHighestRateExclusive)
        throw RenderError(kExitInput, "unsupported sample rate " + std::to_string(rate) + " Hz in " + path +
                                          " (the effect accepts 10001 to 199999 Hz)");
}

void checkPrecision(PluginHost& host, const RenderOptions& options)
{
    if (options.doublePrecision && !host.canProcessDouble())
        throw RenderError(kExitModule, "the module does not offer 64-bit processing (--double)");
}

std::string sampleFormatOf(const RenderOptions& options) { return options.outputSampleFormat; }

}  // namespace

bool interruptRequested() noexcept { return interrupted.load(); }

void installInterruptHandler() noexcept
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

int renderFile(const RenderOptions& options)
{
    AudioReader reader(options.input);
    checkSampleRate(reader.sampleRate(), options.input);
    PluginHost host;
    loadEffect(host, modulePath(options));
    checkPrecision(host, options);
    applyProgramAndSettings(host, options);
    const std::string programName = host.programName();

    AudioWriter writer(options.output, reader.sampleRate(), options.outputChannels, sampleFormatOf(options),
                       reader.sampleFormat());
    MeteringSource source(reader, reader.channels());
    MeteringSink sink(writer);
    ProgressBar progress("rendering", reader.frames());
    const RenderSettings settings{static_cast<double>(reader.sampleRate()), options.blockSize,
                                  options.doublePrecision};

    const double cpuStart = processCpuSeconds();
    const long long frames = BlockRenderer(host, settings)
                                 .run(source, sink, [&](long long done) { progress.update(done); },
                                      [] { return interruptRequested(); });
    const double cpu = processCpuSeconds() - cpuStart;
    progress.finish();
    if (interruptRequested()) throw RenderError(kExitInterrupted, "interrupted; no output written");
    writer.commit();

    const double seconds = static_cast<double>(frames) / reader.sampleRate();
    std::printf("%s -> %s [%s]: in peak %s dBFS, RMS %s dBFS; out peak %s dBFS, RMS %s dBFS; "
                "%.2f s at %d Hz in %.3f s CPU (%.1fx real time)%s%s\n",
                options.input.c_str(), options.output.c_str(), programName.c_str(),
                formatDb(source.meter.peakDb()).c_str(), formatDb(source.meter.rmsDb()).c_str(),
                formatDb(sink.meter.peakDb()).c_str(), formatDb(sink.meter.rmsDb()).c_str(), seconds,
                reader.sampleRate(), cpu, cpu > 0.0 ? seconds / cpu : 0.0,
                sink.meter.clips() ? "; output clips" : "",
                sink.meter.nonFinite() > 0 ? "; output has non-finite samples" : "");
    return kExitOk;
}

int listEffect(const RenderOptions& options)
{
    PluginHost host;
    loadEffect(host, modulePath(options));
    const auto names = host.programNames();
    applyProgramAndSettings(host, options);
    const int current = host.program();
    std::printf("%s\n\nParameters (program %d, \"%s\"):\n", host.effectName().c_str(), current,
                host.programName().c_str());
    for (int i = 0; i < host.numParams(); ++i)
        std::printf("  %2d  %-8s  %s\n", i, host.parameterName(i).c_str(), host.parameterDisplay(i).c_str());
    std::printf("\nPrograms:\n");
    for (std::size_t i = 0; i < names.size(); ++i)
        std::printf("%c %2zu  %s\n", static_cast<int>(i) == current ? '*' : ' ', i, names[i].c_str());
    return kExitOk;
}

int writeDemoInput(const RenderOptions& options)
{
    constexpr int kDemoRate = 48000;
    writeAudioFile(options.output, kDemoRate, {DemoPerformance::synthesize(kDemoRate, options.demoSeconds)},
                   options.outputSampleFormat.empty() ? "float" : options.outputSampleFormat);
    std::printf("wrote the built-in DI performance to %s\n", options.output.c_str());
    return kExitOk;
}

}  // namespace valvora::render
