// The whole dry amplifier through AmpEngine's public interface, stereo at
// 48 kHz, in the configurations that matter for CPU: normal or drive channel,
// tube mode off or on, oversampling off or on. The "rtf" counter is the
// real-time factor: seconds of audio processed per second of CPU time of the
// whole process.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/AmpEngine.h"

using namespace valvora;

namespace {

constexpr double rate = 48000.0;
constexpr int blockFrames = 512;

// A second of something guitar-like: decaying plucked partials, one pluck
// every quarter second, different in each channel.
const std::vector<double>& guitar()
{
    static const std::vector<double> samples = [] {
        std::vector<double> s(2 * static_cast<int>(rate));
        const double pi = std::acos(-1.0);
        for (int n = 0; n < static_cast<int>(rate); ++n) {
            const double t = (n % 12000) / rate;
            const double env = std::exp(-6.0 * t);
            for (int ch = 0; ch < 2; ++ch) {
                const double f = ch ? 110.0 : 82.41;
                s[2 * n + ch] = 0.4 * env *
                                (std::sin(2 * pi * f * t) + 0.5 * std::sin(4 * pi * f * t + 0.3) +
                                 0.25 * std::sin(6 * pi * f * t + 1.1));
            }
        }
        return s;
    }();
    return samples;
}

struct Setup {
    bool drive, tube, oversample;
};

void configure(AmpEngine& e, const Setup& s)
{
    e.setRate(rate);
    e.setDriveChannel(s.drive);
    e.setTubeMode(s.tube);
    e.setOversampling(s.oversample);
    e.setGain(0.8);
    e.setDriveVolume(0.6);
    e.setNormalVolume(0.6);
    e.setSpeakerSim(false);
    e.setReverb(0.0);
    e.update();
}

// Processes frames [from, from + count) of a stereo buffer the way the
// plug-in does: one stereo frame per call, or (perChannel) each channel
// through its own call, which gives the same output.
double run(AmpEngine& e, const std::vector<double>& in, int from, int count, bool perChannel)
{
    double sum = 0.0;
    ChannelSample left, right;
    for (int n = from; n < from + count; ++n) {
        left.input = in[2 * n];
        right.input = in[2 * n + 1];
        if (perChannel) {
            left.channel = 0;
            right.channel = 1;
            e.process(left);
            e.process(right);
        } else {
            e.processFrame(left, right);
        }
        sum += left.output + right.output;
    }
    return sum;
}

void chain(benchmark::State& state, Setup setup, bool perChannel = false)
{
    AmpEngine e;
    configure(e, setup);
    const std::vector<double>& in = guitar();
    const int frames = static_cast<int>(in.size() / 2);
    int position = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(e, in, position, blockFrames, perChannel));
        position = (position + blockFrames) % (frames - blockFrames);
    }
    state.counters["rtf"] =
        benchmark::Counter(state.iterations() * blockFrames / rate, benchmark::Counter::kIsRate);
}

// Process CPU time: the chain plus whatever the engine hands to other
// threads (the reverb's convolution workers run even at reverb level 0).
BENCHMARK_CAPTURE(chain, normal, Setup{false, false, false})->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(chain, normal_8x, Setup{false, false, true})->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(chain, drive_clipper, Setup{true, false, false})->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(chain, drive_clipper_8x, Setup{true, false, true})->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(chain, drive_tube, Setup{true, true, false})->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(chain, drive_tube_8x, Setup{true, true, true})->MeasureProcessCPUTime();
// The audio thread's own CPU time only, for the worst case: what the chain
// costs the thread that runs it.
BENCHMARK_CAPTURE(chain, drive_tube_8x_audio_thread, Setup{true, true, true});
// The worst case with one call per channel, the way a mono-per-call host loop
// would drive the engine: what running the channels side by side saves.
BENCHMARK_CAPTURE(chain, drive_tube_8x_per_channel, Setup{true, true, true}, true)->MeasureProcessCPUTime();

// Silence after loud input: the states decay towards the dither floor, where
// without the dither they would pass through the denormal range. Compare with
// drive_tube_8x: the same configuration on signal.
void silenceAfterLoudInput(benchmark::State& state)
{
    AmpEngine e;
    configure(e, Setup{true, true, true});
    std::vector<double> loud(2 * static_cast<int>(rate));
    for (size_t i = 0; i < loud.size(); ++i) loud[i] = (i / 200) % 2 ? 1.0 : -1.0;
    run(e, loud, 0, static_cast<int>(rate), false);
    const std::vector<double> silence(2 * blockFrames, 0.0);
    // Ten seconds of silence first, so the timed part sits in the decayed tail.
    for (int b = 0; b < 10 * static_cast<int>(rate) / blockFrames; ++b) run(e, silence, 0, blockFrames, false);
    for (auto _ : state) benchmark::DoNotOptimize(run(e, silence, 0, blockFrames, false));
    state.counters["rtf"] =
        benchmark::Counter(state.iterations() * blockFrames / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(silenceAfterLoudInput)->MeasureProcessCPUTime();

// A change of sample rate with oversampling and tube mode on: every group is
// recomputed, the triode tables rebuilt at the 8x rate, the tone stack
// rediscretised.
void updateAfterRateChange(benchmark::State& state)
{
    AmpEngine e;
    configure(e, Setup{true, true, true});
    bool flip = false;
    for (auto _ : state) {
        e.setRate(flip ? 44100.0 : 48000.0);
        flip = !flip;
        e.update();
    }
}
BENCHMARK(updateAfterRateChange)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
