// RealFft against FFTW's single-precision real transform (FFTW_MEASURE plans),
// size by size in one run: one forward plus one inverse transform per
// iteration. Compare the medians of each size (ratio = ours / FFTW).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>
#include <vector>

#include "bench/convolution/Interleaved.h"
#include "convolution/RealFft.h"

namespace {

std::vector<float> noise(int n)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (auto& v : x) v = dist(rng);
    return x;
}

void ours(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    auto fft = valvora::RealFft::create(n);
    auto x = noise(n);
    std::vector<float> spectrum(n), back(n);
    for (auto _ : state) {
        fft->forward(x.data(), spectrum.data());
        fft->inverse(spectrum.data(), back.data());
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_NlogN"] =
        benchmark::Counter(static_cast<double>(n) * std::log2(n),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fftw(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    float* x = fftwf_alloc_real(n);
    float* back = fftwf_alloc_real(n);
    fftwf_complex* spectrum = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan forward = fftwf_plan_dft_r2c_1d(n, x, spectrum, FFTW_MEASURE);
    fftwf_plan inverse = fftwf_plan_dft_c2r_1d(n, spectrum, back, FFTW_MEASURE);
    const auto input = noise(n);
    std::copy(input.begin(), input.end(), x);
    for (auto _ : state) {
        fftwf_execute(forward);
        fftwf_execute(inverse);
        benchmark::DoNotOptimize(back);
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_NlogN"] =
        benchmark::Counter(static_cast<double>(n) * std::log2(n),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);
    fftwf_free(spectrum);
    fftwf_free(back);
    fftwf_free(x);
}

void registerAll()
{
    for (int n = 128; n <= 16384; n *= 2) {
        for (auto* b : {benchmark::RegisterBenchmark("ours", ours), benchmark::RegisterBenchmark("fftw", fftw)})
            b->Arg(n)->MinTime(0.05)->Repetitions(12)->ComputeStatistics("min", valvora::bench::fastest)->DisplayAggregatesOnly(true);
    }
}

}  // namespace

// Ours and FFTW take turns (see Interleaved.h).
int main(int argc, char** argv) { return valvora::bench::runInterleaved(argc, argv, registerAll); }
