// ShortConvolver and LongConvolver against zita-convolver at its smallest
// partition (64 samples) on the same responses, in one run. Each iteration
// convolves one second of noise at 48 kHz. Counters, per sample:
//   audio_ns   CPU time of the calling (audio) thread
//   worker_ns  CPU time of every other thread of the process (the workers)
//   total_ns   both
//   busy_audio_ns, busy_total_ns  (paced runs) the audio thread's CPU inside
//              its blocks only, without the pacing sleeps, and that plus the workers'
// and, per 64-sample block of audio-thread wall time, the median, the
// worst and their ratio (spikes) - raw, and as the convolver's own schedule
// makes them (schedule_worst_over_median, see scheduleWorst) - flat out (/0),
// paced like real audio (/1)
// and paced with the calling thread at real-time priority (/2), as a host
// runs its audio thread (where the system permits it: counter realtime = 1;
// the workers keep normal priority). zita adds 64 samples of latency; ours none.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <zita-convolver.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "bench/convolution/CpuClock.h"
#include "bench/convolution/Interleaved.h"
#include "convolution/LongConvolver.h"
#include "convolution/ShortConvolver.h"


namespace {

using valvora::bench::block;
using valvora::bench::cpuSeconds;
using valvora::bench::rate;

std::vector<float> noise(int n, unsigned seed, float decayTaps = 0.0f)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i) v[i] = dist(rng) * (decayTaps > 0 ? std::exp(-i / decayTaps) : 1.0f);
    return v;
}

struct Meter {
    bool paced = false;
    double audio = 0.0, process = 0.0, busy = 0.0;
    std::vector<double> blockNs;
    double audioStart = 0.0, processStart = 0.0, blockCpuStart = 0.0;
    std::chrono::steady_clock::time_point blockStart;
    void beginBlock()
    {
        if (paced) blockCpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        blockStart = std::chrono::steady_clock::now();
    }
    void endBlock()
    {
        blockNs.push_back(
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - blockStart).count());
        if (paced) busy += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - blockCpuStart;
    }
    void begin()
    {
        audioStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        processStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    }
    void end()
    {
        audio += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - audioStart;
        process += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    }
    // The worst block the convolver's own schedule produces. Every schedule
    // here repeats after 32768 samples, so blocks at the same position in
    // that period do the same work; the fastest of them is that work without
    // what the machine added (preemption, a worker whose processor was taken
    // away by the host). The worst of those minima is the schedule's spike.
    double scheduleWorst() const
    {
        constexpr size_t period = 32768 / block;
        std::vector<double> fastest(period, 0.0);
        for (size_t i = 0; i < blockNs.size(); ++i)
            fastest[i % period] = i < period ? blockNs[i] : std::min(fastest[i % period], blockNs[i]);
        return *std::max_element(fastest.begin(), fastest.end());
    }
    void report(benchmark::State& state, double samples)
    {
        state.counters["audio_ns"] = 1e9 * audio / samples;
        state.counters["worker_ns"] = 1e9 * (process - audio) / samples;
        state.counters["total_ns"] = 1e9 * process / samples;
        if (paced) {
            // The audio thread's own CPU inside the blocks, without the
            // pacing sleeps, plus the workers': the cost in real-time use.
            state.counters["busy_audio_ns"] = 1e9 * busy / samples;
            state.counters["busy_total_ns"] = 1e9 * (busy + process - audio) / samples;
        }
        const double ownWorst = scheduleWorst();
        std::sort(blockNs.begin(), blockNs.end());
        const double median = blockNs[blockNs.size() / 2], worst = blockNs.back();
        state.counters["schedule_worst_over_median"] = ownWorst / median;
        state.counters["block_median_ns"] = median;
        state.counters["block_p999_ns"] = blockNs[blockNs.size() * 999 / 1000];
        state.counters["block_worst_ns"] = worst;
        state.counters["worst_over_median"] = worst / median;
        state.counters["p999_over_median"] = blockNs[blockNs.size() * 999 / 1000] / median;
    }
};

// Raises the calling thread to real-time priority for its lifetime when asked
// to and permitted; threads started before keep theirs.
struct RealtimeScope {
    bool raised = false;
    int oldPolicy = SCHED_OTHER;
    sched_param oldParam{};
    explicit RealtimeScope(bool want)
    {
        if (!want) return;
        pthread_getschedparam(pthread_self(), &oldPolicy, &oldParam);
        sched_param p{};
        p.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
        raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
    }
    ~RealtimeScope()
    {
        if (raised) pthread_setschedparam(pthread_self(), oldPolicy, &oldParam);
    }
};

// With argument 1 the blocks arrive at the pace of real 48 kHz audio, as a
// host would deliver them, so the worst block shows the audio thread's own
// cost; with 0 the benchmark runs flat out and workers fall behind the
// audio thread (block times then include waiting for them).
struct Pacer {
    bool on;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    void before(int sample) const
    {
        if (on) std::this_thread::sleep_until(start + std::chrono::nanoseconds(int64_t(1e9 * sample / rate)));
    }
};

template <typename Convolver>
void ours(benchmark::State& state, int irLength)
{
    Convolver c;
    const auto ir = noise(irLength, 1, irLength / 6.0f);
    c.load(ir.data());
    const auto x = noise(rate, 2);
    const RealtimeScope realtime(state.range(0) == 2);
    Meter meter;
    meter.paced = state.range(0) != 0;
    meter.blockNs.reserve(state.max_iterations * rate / block + 16);
    float sink = 0.0f;
    for (auto _ : state) {
        const Pacer pacer{state.range(0) != 0};
        meter.begin();
        for (int b = 0; b < rate; b += block) {
            pacer.before(b);
            meter.beginBlock();
            for (int i = 0; i < block; ++i) sink += c.process(x[b + i]);
            meter.endBlock();
        }
        meter.end();
    }
    benchmark::DoNotOptimize(sink);
    meter.report(state, double(state.iterations()) * rate);
    state.counters["realtime"] = realtime.raised ? 1 : 0;
}

void zita(benchmark::State& state, int irLength)
{
    Convproc conv;
    const int maxPart = irLength >= 8192 ? 8192 : irLength;
    if (conv.configure(1, 1, irLength, block, block, maxPart, 0.0f) != 0) {
        state.SkipWithError("configure failed");
        return;
    }
    auto ir = noise(irLength, 1, irLength / 6.0f);
    conv.impdata_create(0, 0, 1, ir.data(), 0, irLength);
    if (conv.start_process(0, SCHED_OTHER) != 0) {
        state.SkipWithError("start_process failed");
        return;
    }
    const auto x = noise(rate, 2);
    std::optional<RealtimeScope> realtime(state.range(0) == 2);
    Meter meter;
    meter.paced = state.range(0) != 0;
    meter.blockNs.reserve(state.max_iterations * rate / block + 16);
    float sink = 0.0f;
    for (auto _ : state) {
        const Pacer pacer{state.range(0) != 0};
        meter.begin();
        for (int b = 0; b < rate; b += block) {
            pacer.before(b);
            meter.beginBlock();
            std::copy(x.begin() + b, x.begin() + b + block, conv.inpdata(0));
            conv.process(true);
            sink += conv.outdata(0)[block - 1];
            meter.endBlock();
        }
        meter.end();
    }
    state.counters["realtime"] = realtime->raised ? 1 : 0;
    realtime.reset();  // before waiting for zita's threads to stop
    conv.stop_process();
    while (!conv.check_stop()) sched_yield();
    conv.cleanup();
    benchmark::DoNotOptimize(sink);
    meter.report(state, double(state.iterations()) * rate);
}

void longOurs(benchmark::State& s)
{
    ours<valvora::LongConvolver>(s, valvora::LongConvolver::length);
}
void longZita(benchmark::State& s)
{
    zita(s, valvora::LongConvolver::length);
}
void shortOurs(benchmark::State& s)
{
    ours<valvora::ShortConvolver>(s, valvora::ShortConvolver::length);
}
void shortZita(benchmark::State& s)
{
    zita(s, valvora::ShortConvolver::length);
}

// Ours and zita's take turns (see Interleaved.h).
void registerAll()
{
    struct Config {
        int pacing, iterations, repetitions;
    };
    const Config configs[] = {{0, 10, 9}, {1, 3, 3}, {2, 3, 3}};
    const std::pair<const char*, void (*)(benchmark::State&)> runs[] = {
        {"longOurs", longOurs}, {"longZita", longZita}, {"shortOurs", shortOurs}, {"shortZita", shortZita}};
    for (const Config& c : configs)
        for (const auto& [name, run] : runs)
            benchmark::RegisterBenchmark(name, run)
                ->Arg(c.pacing)
                ->Iterations(c.iterations)
                ->Repetitions(c.repetitions)
                ->ComputeStatistics("min", valvora::bench::fastest)
                ->DisplayAggregatesOnly(true)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) { return valvora::bench::runInterleaved(argc, argv, registerAll); }
