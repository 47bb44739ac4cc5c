// A fixed workload for instruction counting (valgrind --tool=callgrind counts
// every thread, workers included), steadier than timings on a shared machine:
//   ConvolutionWorkloadBench ours|zita short|long SAMPLES
//   ConvolutionWorkloadBench ours|fftw fft N PAIRS
// instruction_counts.sh runs each case at two lengths and divides the
// difference, so set-up costs drop out. zita runs at its 64-sample partition.
#include <fftw3.h>
#include <sched.h>
#include <zita-convolver.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convolution/LongConvolver.h"
#include "convolution/RealFft.h"
#include "convolution/ShortConvolver.h"

namespace {

std::vector<float> noise(int n, float decay)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i) v[i] = d(rng) * (decay > 0 ? std::exp(-i / decay) : 1.0f);
    return v;
}

template <typename Convolver>
float runOurs(int length, int samples)
{
    Convolver c;
    const auto ir = noise(length, length / 6.0f);
    c.load(ir.data());
    const auto x = noise(samples, 0.0f);
    float sink = 0.0f;
    for (int i = 0; i < samples; ++i) sink += c.process(x[i]);
    return sink;
}

float runZita(int length, int samples)
{
    Convproc conv;
    conv.configure(1, 1, length, 64, 64, length >= 8192 ? 8192 : length, 0.0f);
    auto ir = noise(length, length / 6.0f);
    conv.impdata_create(0, 0, 1, ir.data(), 0, length);
    conv.start_process(0, SCHED_OTHER);
    const auto x = noise(samples, 0.0f);
    float sink = 0.0f;
    for (int b = 0; b + 64 <= samples; b += 64) {
        std::memcpy(conv.inpdata(0), &x[b], 64 * sizeof(float));
        conv.process(true);
        sink += conv.outdata(0)[63];
    }
    conv.stop_process();
    while (!conv.check_stop()) sched_yield();
    conv.cleanup();
    return sink;
}

float runFft(bool ours, int n, int pairs)
{
    auto x = noise(n, 0.0f);
    std::vector<float> spectrum(n + 2), back(n);
    if (ours) {
        auto fft = valvora::RealFft::create(n);
        for (int i = 0; i < pairs; ++i) {
            fft->forward(x.data(), spectrum.data());
            fft->inverse(spectrum.data(), back.data());
        }
        return back[1];
    }
    float* in = fftwf_alloc_real(n);
    float* out = fftwf_alloc_real(n);
    fftwf_complex* s = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan f = fftwf_plan_dft_r2c_1d(n, in, s, FFTW_MEASURE);
    fftwf_plan b = fftwf_plan_dft_c2r_1d(n, s, out, FFTW_MEASURE);
    std::copy(x.begin(), x.end(), in);
    for (int i = 0; i < pairs; ++i) {
        fftwf_execute(f);
        fftwf_execute(b);
    }
    const float r = out[1];
    fftwf_destroy_plan(f);
    fftwf_destroy_plan(b);
    fftwf_free(s);
    fftwf_free(out);
    fftwf_free(in);
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ours|zita|fftw short|long|fft COUNT [N]\n", argv[0]);
        return 2;
    }
    const std::string who = argv[1], what = argv[2];
    const int count = std::atoi(argv[3]);
    float sink = 0.0f;
    if (what == "fft") {
        const char* size = std::getenv("FFT_SIZE");
        sink = runFft(who == "ours", size ? std::atoi(size) : 1024, count);
    } else {
        const bool isLong = what == "long";
        const int length = isLong ? valvora::LongConvolver::length : valvora::ShortConvolver::length;
        if (who == "zita")
            sink = runZita(length, count);
        else
            sink = isLong ? runOurs<valvora::LongConvolver>(length, count)
                          : runOurs<valvora::ShortConvolver>(length, count);
    }
    return sink == 12345.0f ? 1 : 0;
}
