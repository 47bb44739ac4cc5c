// --bench: real-time factors (audio time / CPU time of every thread of this
// process) for each program at 48 kHz, and for the heaviest settings at four
// sample rates, each beside the share of that CPU time the kernel spent on
// the process's behalf (system time). Audio stays in memory so file I/O is
// not measured.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/render/BlockRenderer.h"
#include "tools/render/Commands.h"
#include "tools/render/CpuClock.h"
#include "tools/render/DemoAnalysis.h"
#include "tools/render/DemoPerformance.h"
#include "tools/render/HostSetup.h"
#include "tools/render/ParameterBinding.h"

namespace valvora::render {

namespace {

constexpr double kDefaultSeconds = 5.0;
constexpr int kRuns = 3;  // the median of three steadies the figures on a shared machine
constexpr int kBenchBlock = 512;
// The first block applies every pending parameter and computes all
// coefficients: a one-off a DAW pays when the plug-in is inserted.
constexpr int kWarmUpBlocks = 1;

class DiscardingSink : public FrameSink {
public:
    void write(const double* const*, int) override {}
};

struct Figure {
    double factor = 0.0;       // audio time / CPU time of all threads
    double systemShare = 0.0;  // system time / (user + system time), 0..1
};

Figure measure(PluginHost& host, double rate, const std::vector<double>& input, const RenderOptions& options)
{
    const RenderSettings settings{rate, options.blockSize, options.doublePrecision};
    const long long warmUp = static_cast<long long>(kWarmUpBlocks) * options.blockSize;
    const std::vector<std::vector<double>> planes{input};
    MemorySource source(planes);
    DiscardingSink sink;
    double start = 0.0;
    CpuTimes startTimes;
    long long startFrames = -1;
    const long long frames = BlockRenderer(host, settings).run(source, sink, [&](long long done) {
        if (startFrames < 0 && done >= warmUp) {
            startFrames = done;
            start = processCpuSeconds();
            startTimes = processCpuTimes();
        }
    });
    const double cpu = processCpuSeconds() - start;
    const CpuTimes endTimes = processCpuTimes();
    const double user = endTimes.user - startTimes.user;
    const double system = endTimes.system - startTimes.system;
    Figure figure;
    if (cpu > 0.0 && startFrames >= 0) figure.factor = static_cast<double>(frames - startFrames) / rate / cpu;
    if (user + system > 0.0) figure.systemShare = system / (user + system);
    return figure;
}

// Each run on a fresh instance (set up by `prepare`, outside the timing), so
// no run inherits another's reverb tail or warm state.
// The system share reported is the median run's.
template <typename Prepare>
Figure medianFigure(const Prepare& prepare, double rate, const std::vector<double>& input,
                    const RenderOptions& options)
{
    std::vector<Figure> figures;
    for (int run = 0; run < kRuns; ++run) {
        PluginHost host;
        prepare(host);
        figures.push_back(measure(host, rate, input, options));
    }
    std::sort(figures.begin(), figures.end(),
              [](const Figure& a, const Figure& b) { return a.factor < b.factor; });
    return figures[figures.size() / 2];
}

void set(PluginHost& host, const std::string& assignment)
{
    const ParameterValue v = resolveSetting(host, assignment);
    host.setParameter(v.index, v.value);
}

}  // namespace

int runBench(const RenderOptions& options)
{
    const std::string module = modulePath(options);
    const double seconds = options.demoSeconds > 0.0 ? options.demoSeconds : kDefaultSeconds;
    PluginHost keeper;
    loadEffect(keeper, module);
    const auto names = keeper.programNames();

    std::printf(
        "real-time factor = audio time / CPU time of all threads, median of %d runs of %.0f s of the\n"
        "DI performance on fresh instances; stereo buffers, %d-frame blocks, %s samples;\n"
        "sys = the system time's share of that CPU time (getrusage, all threads)\n\n",
        kRuns, seconds, options.blockSize, options.doublePrecision ? "64-bit" : "32-bit");
    std::printf("48 kHz         program           as stored         Channels=2 (true stereo)\n");
    const std::vector<double> at48 = DemoPerformance::synthesize(48000.0, seconds);
    for (int p = 0; p < static_cast<int>(names.size()); ++p) {
        const auto stored = [&](PluginHost& host) { prepareProgram(host, module, options, p); };
        const auto stereo = [&](PluginHost& host) {
            prepareProgram(host, module, options, p);
            set(host, "Channels=2");
        };
        const Figure asStored = medianFigure(stored, 48000.0, at48, options);
        const Figure trueStereo = medianFigure(stereo, 48000.0, at48, options);
        std::printf("  %2d  %-24s %8.1fx  sys %3.0f%% %10.1fx  sys %3.0f%%\n", p,
                    names[static_cast<std::size_t>(p)].c_str(), asStored.factor, 100.0 * asStored.systemShare,
                    trueStereo.factor, 100.0 * trueStereo.systemShare);
        std::fflush(stdout);
    }

    std::printf(
        "\nworst case: Drive channel, TubeMode on, Oversample on, Reverb 1, SpeakerSim on, Channels=2\n");
    const auto worst = [&](PluginHost& host) {
        loadEffect(host, module);
        for (const char* s :
             {"Channel=1", "TubeMode=1", "Oversample=1", "Reverb=1", "SpeakerSim=1", "Channels=2"})
            set(host, s);
    };
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const Figure figure = medianFigure(worst, rate, DemoPerformance::synthesize(rate, seconds), options);
        std::printf("  %6.1f kHz  %8.1fx  sys %3.0f%%\n", rate / 1000.0, figure.factor,
                    100.0 * figure.systemShare);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace valvora::render
