// Toggling Oversample, TubeMode and the cabinet, switching programs and
// changing the rate within and across the cabinet families while audio
// plays: the audio thread creates and joins no thread, the process keeps
// the same threads, and no triode table is rebuilt on the audio thread for a
// rate the host announced. On Linux pthread_create, pthread_join and
// pthread_detach are replaced here to count calls made on the audio thread
// (not under the sanitizers, whose runtimes replace them themselves); on
// every platform the set of threads is compared.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "platform/Threading.h"
#include "plugin/AmpPlugin.h"

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define VALVORA_COUNT_PTHREAD_CALLS 1
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace {
thread_local bool onAudioThread = false;
std::atomic<int> audioThreadCreates{0}, audioThreadJoins{0};
}  // namespace

#ifdef VALVORA_COUNT_PTHREAD_CALLS
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
{
    using Fn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_create"));
    if (onAudioThread) audioThreadCreates.fetch_add(1);
    return real(thread, attr, start, arg);
}
extern "C" int pthread_join(pthread_t thread, void** result)
{
    using Fn = int (*)(pthread_t, void**);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_join"));
    if (onAudioThread) audioThreadJoins.fetch_add(1);
    return real(thread, result);
}
extern "C" int pthread_detach(pthread_t thread)
{
    using Fn = int (*)(pthread_t);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_detach"));
    if (onAudioThread) audioThreadJoins.fetch_add(1);
    return real(thread);
}
#endif

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Block {
    std::vector<float> in, out0, out1;
    long n = 0;
    Block() : in(128), out0(128), out1(128) {}
    void run(valvora::AmpPlugin& plugin)
    {
        for (float& x : in) x = 0.3f * std::sin(0.02f * static_cast<float>(n++));
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out0.data(), out1.data()};
        onAudioThread = true;
        plugin.processReplacing(ins, outs, 128);
        onAudioThread = false;
    }
};

TEST(AudioThreadStartsNoThread, SwitchesAndRateChangesDuringPlayback)
{
    valvora::AmpPlugin plugin(hostCallback);
    plugin.setParameter(valvora::paramSpeakerSim, 1.0f);
    plugin.setParameter(valvora::paramReverb, 0.5f);
    Block block;
    for (int i = 0; i < 20; ++i) block.run(plugin);
    const int threads = valvora::platform::processThreadCount();
    const unsigned rebuilds = plugin.engineForTest().updateCounts().triodeRebuilds;
    const unsigned loads = plugin.engineForTest().speakerStage().loadCount();

    const float rates[] = {48000.0f, 44100.0f, 96000.0f, 88200.0f, 192000.0f, 48000.0f, 44100.0f};
    for (int round = 0; round < 2; ++round) {
        for (float rate : rates) {
            plugin.setSampleRate(rate);  // the host thread names it; the next block applies it
            block.run(plugin);
            for (int p : {valvora::paramOversample, valvora::paramTubeMode, valvora::paramSpeakerMode,
                          valvora::paramChannel}) {
                plugin.setParameter(p, plugin.getParameter(p) >= 0.5f ? 0.0f : 1.0f);
                for (int i = 0; i < 3; ++i) block.run(plugin);
            }
        }
        plugin.setProgram(round ? 0 : 10);
        block.run(plugin);
    }
    EXPECT_EQ(audioThreadCreates.load(), 0);
    EXPECT_EQ(audioThreadJoins.load(), 0);
    EXPECT_EQ(valvora::platform::processThreadCount(), threads);
    EXPECT_EQ(plugin.engineForTest().updateCounts().triodeRebuilds, rebuilds);
    EXPECT_GT(plugin.engineForTest().speakerStage().loadCount(), loads) << "no family change was made";
}

#ifdef VALVORA_COUNT_PTHREAD_CALLS
TEST(AudioThreadStartsNoThread, TheCountersSeeAThreadMadeOnTheAudioThread)
{
    const int before = audioThreadCreates.load();
    onAudioThread = true;
    valvora::platform::Thread t;
    t.start([](void*) {}, nullptr);
    t.join();
    onAudioThread = false;
    EXPECT_EQ(audioThreadCreates.load(), before + 1);
    audioThreadCreates = before;
    audioThreadJoins = 0;
}
#endif

}  // namespace
