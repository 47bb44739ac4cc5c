// Per-sample cost of the nonlinear stages and the triode rebuild.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/Oversampler.h"
#include "engine/WaveshaperTable.h"
#include "engine/stages/OutputLowPass.h"
#include "engine/tone/TriodeModel.h"

using namespace valvora;

namespace {

std::vector<double> signal(int n, double amplitude)
{
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = amplitude * std::sin(0.013 * i) * (1.0 + 0.3 * std::sin(0.0007 * i));
    return x;
}

TriodeModel& configuredTriode(double period)
{
    static TriodeModel m(4);
    m.setTubeType(2);
    m.setCathodeCapacitance(1.2e-5);
    m.setSupply(350.0);
    m.setPeriod(period);
    m.resetCathodes();
    return m;
}

void BM_WaveshaperLookup(benchmark::State& state)
{
    const std::vector<double> x = signal(4096, 8.0);
    const WaveshaperTable& table = WaveshaperTable::instance();
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) sum += v >= 0.0 ? table.lookup(v) : -table.lookup(-v);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * x.size());
}
BENCHMARK(BM_WaveshaperLookup);

void BM_OversamplerUpDown(benchmark::State& state)
{
    const std::vector<double> x = signal(4096, 1.0);
    Oversampler up, down;
    double block[Oversampler::factor];
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) {
            up.up(v, block);
            sum += down.down(block);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * x.size());  // host-rate samples
}
BENCHMARK(BM_OversamplerUpDown);

void BM_TriodeTwoStages(benchmark::State& state)
{
    TriodeModel& m = configuredTriode(1.0 / 384000.0);
    const std::vector<double> x = signal(4096, 100.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) sum += m.process(m.process(v, 0, 1) * 0.5, 2, 1);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * x.size());
}
BENCHMARK(BM_TriodeTwoStages);

void BM_OutputLowPass(benchmark::State& state)
{
    OutputLowPass f;
    f.setPeriod(1.0 / 48000.0);
    const std::vector<double> x = signal(4096, 1.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) sum += f.process(v, 0);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * x.size());
}
BENCHMARK(BM_OutputLowPass);

// The rebuild that runs in-line on the audio thread on a rate or oversampling
// change; the argument is the preamp rate.
void BM_TriodeRebuild(benchmark::State& state)
{
    const double period = 1.0 / static_cast<double>(state.range(0));
    TriodeModel& m = configuredTriode(period);
    for (auto _ : state) m.setPeriod(period);
}
BENCHMARK(BM_TriodeRebuild)->Arg(44100)->Arg(48000)->Arg(352800)->Arg(384000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
