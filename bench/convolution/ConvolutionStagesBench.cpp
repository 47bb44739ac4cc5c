// The convolution stages as the engine runs them: ReverbStage (level 0.5) and
// SpeakerStage at 48 kHz stereo, one second of noise per iteration, both
// channels interleaved sample by sample. Counters per stereo frame:
//   audio_ns   CPU time of the calling (audio) thread
//   worker_ns  CPU time of every other thread (the convolvers' workers)
//   total_ns   both
// Flat out (/0) and paced like real 64-frame host blocks (/1).
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "bench/convolution/CpuClock.h"
#include "engine/stages/ReverbStage.h"
#include "engine/stages/SpeakerStage.h"


namespace {

using valvora::bench::block;
using valvora::bench::cpuSeconds;
using valvora::bench::rate;

template <typename Stage, typename Setup>
void runStage(benchmark::State& state, Setup setup)
{
    Stage stage;
    stage.setPeriod(1.0 / rate);
    setup(stage);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> dist(-0.5, 0.5);
    std::vector<double> x(2 * rate);
    for (auto& v : x) v = dist(rng);
    double audio = 0.0, process = 0.0, sink = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double a0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID), p0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        for (int b = 0; b < rate; b += block) {
            if (state.range(0) != 0)
                std::this_thread::sleep_until(start + std::chrono::nanoseconds(int64_t(1e9 * b / rate)));
            for (int i = b; i < b + block; ++i) {
                for (int c = 0; c < 2; ++c) {
                    double s = x[2 * i + c];
                    stage.process(s, c);
                    sink += s;
                }
            }
        }
        audio += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - a0;
        process += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
    }
    benchmark::DoNotOptimize(sink);
    const double frames = double(state.iterations()) * rate;
    state.counters["audio_ns"] = 1e9 * audio / frames;
    state.counters["worker_ns"] = 1e9 * (process - audio) / frames;
    state.counters["total_ns"] = 1e9 * process / frames;
}

void reverb(benchmark::State& state)
{
    runStage<valvora::ReverbStage>(state, [](valvora::ReverbStage& s) { s.setLevel(0.5); });
}

void speaker(benchmark::State& state)
{
    runStage<valvora::SpeakerStage>(state, [](valvora::SpeakerStage& s) { s.setCabinet(true); });
}

}  // namespace

BENCHMARK(reverb)->Arg(0)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(speaker)->Arg(0)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(reverb)->Arg(1)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(speaker)->Arg(1)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
