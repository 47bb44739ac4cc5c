// A minimal offline LV2 host, only for the end-to-end comparison: renders a
// sound file through one plug-in in 512-frame blocks and reports the
// real-time factor the same way valvora-render does (audio time / CPU time
// of all threads of the process, over the read-process-write loop).
//   lv2_render PLUGIN_URI BUNDLE_DIR INPUT OUTPUT
#include <sndfile.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "Lv2Instance.h"

namespace {

constexpr int kBlock = 512;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: lv2_render PLUGIN_URI BUNDLE_DIR INPUT OUTPUT\n");
        return 2;
    }
    SF_INFO inInfo{};
    SNDFILE* in = sf_open(argv[3], SFM_READ, &inInfo);
    if (!in) {
        std::fprintf(stderr, "lv2_render: cannot read %s\n", argv[3]);
        return 1;
    }
    std::unique_ptr<lv2bench::Lv2World> world;
    std::unique_ptr<lv2bench::Lv2Instance> plugin;
    try {
        world = std::make_unique<lv2bench::Lv2World>(argv[2], argv[1]);
        plugin = std::make_unique<lv2bench::Lv2Instance>(*world, inInfo.samplerate, kBlock);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lv2_render: %s\n", e.what());
        return 1;
    }
    const int channels = plugin->audioInputs();
    if (channels < 1 || inInfo.channels != channels) {
        std::fprintf(stderr, "lv2_render: the plug-in has %d audio inputs, the file %d channels\n", channels,
                     inInfo.channels);
        return 1;
    }
    const int outputs = plugin->audioOutputs();
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = outputs;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(argv[4], SFM_WRITE, &outInfo);
    if (!out) {
        std::fprintf(stderr, "lv2_render: cannot write %s\n", argv[4]);
        return 1;
    }

    std::vector<float> interleavedIn(static_cast<std::size_t>(kBlock * channels));
    std::vector<float> interleavedOut(static_cast<std::size_t>(kBlock * outputs));
    long long frames = 0;
    const double start = cpuSeconds();
    for (sf_count_t n; (n = sf_readf_float(in, interleavedIn.data(), kBlock)) > 0;) {
        for (sf_count_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) plugin->input(c)[i] = interleavedIn[i * channels + c];
        plugin->run(static_cast<int>(n));
        for (sf_count_t i = 0; i < n; ++i)
            for (int c = 0; c < outputs; ++c) interleavedOut[i * outputs + c] = plugin->output(c)[i];
        sf_writef_float(out, interleavedOut.data(), n);
        frames += n;
    }
    const double cpu = cpuSeconds() - start;
    sf_close(out);
    sf_close(in);
    plugin.reset();
    const double seconds = static_cast<double>(frames) / inInfo.samplerate;
    std::printf("%s: %.2f s in %.3f s CPU (%.1fx real time)\n", argv[1], seconds, cpu, seconds / cpu);
    return 0;
}
