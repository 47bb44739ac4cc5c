// A VST 2.4 host for the real-time sanitizer suite. Linked with LLVM's
// RealtimeSanitizer runtime (whole archive), which replaces malloc, free,
// pthread_mutex_lock and the other calls it knows to be unsafe in a real-time
// context; the host brackets every processReplacing and
// processDoubleReplacing call with __rtsan_realtime_enter/exit, so any such
// call made on the audio path of the loaded module ends the run with the
// sanitizer's report. It loads the built module through its entry point and
// drives it the way issue 14 lists: every program, every parameter change,
// Oversample and TubeMode switches, rate changes within and across the
// cabinet families (announced, and with suspend and resume), hostile
// parameter values and hostile samples.
//
//   valvora-rtsan-host MODULE     exits 0 and prints "rtsan host: N blocks, no
//                                 real-time violation" when the suite passes
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "plugin/vst24.h"

extern "C" {
void __rtsan_realtime_enter();
void __rtsan_realtime_exit();
}

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Host {
    AEffect* fx = nullptr;
    long blocks = 0;
    long frame = 0;
    std::vector<float> f0, f1, g0, g1;
    std::vector<double> d0, d1, e0, e1;
    Host() : f0(512), f1(512), g0(512), g1(512), d0(512), d1(512), e0(512), e1(512) {}

    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return fx->dispatcher(fx, op, index, value, ptr, opt);
    }
    void fill(float hostile = 0.0f, bool useHostile = false)
    {
        for (int i = 0; i < 512; ++i) {
            const double x = 0.4 * std::sin(0.023 * static_cast<double>(frame + i)) *
                             std::exp(-1e-4 * static_cast<double>((frame + i) % 20000));
            f0[i] = useHostile && (i % 7 == 0) ? hostile : static_cast<float>(x);
            f1[i] = static_cast<float>(0.7 * x);
            d0[i] = f0[i];
            d1[i] = f1[i];
        }
    }
    // One block of each precision, each inside the real-time context.
    void process(int frames = 256, float hostile = 0.0f, bool useHostile = false)
    {
        fill(hostile, useHostile);
        float* fin[2] = {f0.data(), f1.data()};
        float* fout[2] = {g0.data(), g1.data()};
        double* din[2] = {d0.data(), d1.data()};
        double* dout[2] = {e0.data(), e1.data()};
        __rtsan_realtime_enter();
        fx->processReplacing(fx, fin, fout, frames);
        __rtsan_realtime_exit();
        __rtsan_realtime_enter();
        fx->processDoubleReplacing(fx, din, dout, frames);
        __rtsan_realtime_exit();
        frame += frames;
        blocks += 2;
    }
    void run(int count, int frames = 256)
    {
        for (int i = 0; i < count; ++i) process(frames);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 2;
    }
    using Entry = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(module, "VSTPluginMain"));
    Host h;
    h.fx = entry ? entry(hostCallback) : nullptr;
    if (!h.fx) {
        std::fprintf(stderr, "no instance\n");
        return 2;
    }
    h.dispatch(effOpen);
    h.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    h.dispatch(effSetBlockSize, 0, 512);
    h.dispatch(effMainsChanged, 0, 1);
    h.run(40);

    // Every program, played for a while.
    for (int program = 0; program < 16; ++program) {
        h.dispatch(effSetProgram, 0, program);
        h.run(12);
    }
    // Every parameter through its range, one change per block.
    h.dispatch(effSetProgram, 0, 10);
    for (int index = 0; index < 14; ++index)
        for (float value : {0.0f, 0.3f, 0.7f, 1.0f, 0.5f}) {
            h.fx->setParameter(h.fx, index, value);
            h.process();
        }
    // Oversample and TubeMode switches, on both channels' voicings.
    for (int round = 0; round < 8; ++round) {
        h.fx->setParameter(h.fx, 1, (round & 4) ? 0.0f : 1.0f);  // Channel
        h.fx->setParameter(h.fx, 10, (round & 1) ? 0.0f : 1.0f);  // Oversample
        h.process();
        h.fx->setParameter(h.fx, 12, (round & 2) ? 0.0f : 1.0f);  // TubeMode
        h.process();
        h.run(3);
    }
    // Rate changes within and across the cabinet families: announced while
    // playing, and the way most hosts do it (suspend, rate, resume).
    h.fx->setParameter(h.fx, 11, 1.0f);  // SpeakerSim
    for (float rate : {88200.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 44100.0f, 176400.0f, 48000.0f}) {
        h.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        h.run(6);
        h.dispatch(effMainsChanged, 0, 0);
        h.dispatch(effSetSampleRate, 0, 0, nullptr, rate == 48000.0f ? 44100.0f : 48000.0f);
        h.dispatch(effMainsChanged, 0, 1);
        h.run(6);
        h.fx->setParameter(h.fx, 10, h.fx->getParameter(h.fx, 10) >= 0.5f ? 0.0f : 1.0f);
        h.run(2);
    }
    // Hostile parameter values on every parameter, then hostile samples.
    const float inf = std::numeric_limits<float>::infinity();
    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf, 1e30f, -1e30f, -1.0f, 2.0f,
                             std::numeric_limits<float>::denorm_min()};
    for (int index = 0; index < 14; ++index)
        for (float value : hostile) {
            h.fx->setParameter(h.fx, index, value);
            h.process(64);
        }
    h.dispatch(effSetProgram, 0, 0);
    for (float x : hostile) h.process(256, x, true);
    // Odd block sizes, and blocks of one frame.
    for (int frames : {1, 2, 3, 17, 63, 65, 255, 512}) h.run(3, frames);

    h.dispatch(effMainsChanged, 0, 0);
    h.dispatch(effClose);
    std::printf("rtsan host: %ld blocks, no real-time violation\n", h.blocks);
    return 0;
}
