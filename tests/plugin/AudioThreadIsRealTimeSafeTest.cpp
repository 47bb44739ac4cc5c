// The audio entry must never allocate and never wait for a host thread. Global
// operator new is replaced here to count allocations made on the audio
// thread while a block runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "plugin/AmpPlugin.h"

namespace {
thread_local bool countingThisThread = false;
std::atomic<long> audioThreadAllocations{0};
}  // namespace

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (countingThisThread) audioThreadAllocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (countingThisThread) audioThreadAllocations.fetch_add(1);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using valvora::AmpPlugin;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Stereo {
    explicit Stereo(int frames) : in0(frames), in1(frames), out0(frames), out1(frames)
    {
        for (int i = 0; i < frames; ++i) in0[i] = in1[i] = 0.3f * std::sin(0.05f * i);
    }
    float* ins[2];
    float* outs[2];
    std::vector<float> in0, in1, out0, out1;
    void run(AmpPlugin& plugin)
    {
        ins[0] = in0.data();
        ins[1] = in1.data();
        outs[0] = out0.data();
        outs[1] = out1.data();
        countingThisThread = true;
        plugin.processReplacing(ins, outs, static_cast<VstInt32>(in0.size()));
        countingThisThread = false;
    }
};

TEST(RealTimeSafety, ProcessingAndApplyingParameterChangesAllocateNothing)
{
    AmpPlugin plugin(hostCallback);
    Stereo block(256);
    block.run(plugin);  // the first block applies the whole program
    audioThreadAllocations = 0;

    for (int round = 0; round < 3; ++round) {
        for (int index = 0; index < valvora::parameterCount; ++index) {
            plugin.setParameter(index, round == 1 ? 1.0f : 0.25f * static_cast<float>(index % 4));
            block.run(plugin);
        }
        plugin.setProgram((round * 5 + 3) % 16);
        block.run(plugin);
        // A rate change within one cabinet family (44.1 kHz -> 88.2 kHz) rebuilds
        // every coefficient group but reloads no response.
        plugin.setSampleRate(round == 1 ? 88200.0f : 44100.0f);
        block.run(plugin);
    }
    EXPECT_EQ(audioThreadAllocations.load(), 0);
}

TEST(RealTimeSafety, AHostThreadInsideAChangeDefersTheChangesInsteadOfWaiting)
{
    AmpPlugin plugin(hostCallback);
    Stereo block(64);
    block.run(plugin);

    plugin.setParameter(valvora::paramOversample, 0.0f);
    plugin.setParameter(valvora::paramEnable, 0.0f);  // pending: bypass
    std::atomic<bool> holding{false}, release{false};
    std::thread host([&] {
        plugin.beginChangeForTest();  // as in the middle of a program switch
        holding = true;
        while (!release) std::this_thread::yield();
        plugin.endChangeForTest();
    });
    while (!holding) std::this_thread::yield();

    block.run(plugin);  // must return although a change is in progress
    EXPECT_TRUE(plugin.engineForTest().isEnabled()) << "the pending change was applied in the middle of a change";
    EXPECT_NE(block.out0[10], block.in0[10]);

    release = true;
    host.join();
    block.run(plugin);
    EXPECT_FALSE(plugin.engineForTest().isEnabled());
    EXPECT_EQ(block.out0, block.in0) << "bypass after the deferred change";
}

}  // namespace
