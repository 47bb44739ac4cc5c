// Host threads hammer parameters, programs, names and display texts of two
// instances (which share the program bank) while an audio thread processes
// both. Run under ThreadSanitizer, this proves the hand-off is race-free.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "plugin/AmpPlugin.h"

namespace {

using valvora::AmpPlugin;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

void hostThread(AmpPlugin& plugin, int seed, const std::atomic<bool>& stop)
{
    unsigned x = static_cast<unsigned>(seed) * 2654435761u;
    char text[64];
    while (!stop.load()) {
        x = x * 1664525u + 1013904223u;
        const int index = static_cast<int>(x % 16) - 1;
        switch ((x >> 8) % 7) {
            case 0: plugin.setParameter(index, static_cast<float>((x >> 12) % 1000) / 999.0f); break;
            case 1: plugin.getParameter(index); break;
            case 2: plugin.dispatcher(effSetProgram, 0, static_cast<VstIntPtr>((x >> 12) % 17), nullptr, 0); break;
            case 3: plugin.dispatcher(effGetParamDisplay, index, 0, text, 0); break;
            case 4: plugin.dispatcher(effGetProgramName, 0, 0, text, 0); break;
            case 5: plugin.dispatcher(effGetParamName, index, 0, text, 0); break;
            case 6: plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, (x >> 12) % 2 ? 48000.0f : 44100.0f); break;
        }
    }
}

TEST(ConcurrentHosts, ParameterTrafficAndAudioNeverRace)
{
    AmpPlugin first(hostCallback), second(hostCallback);
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};

    std::thread audio([&] {
        std::vector<float> in(128), out0(128), out1(128);
        for (int i = 0; i < 128; ++i) in[i] = 0.2f * std::sin(0.1f * i);
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out0.data(), out1.data()};
        while (!stop.load()) {
            first.processReplacing(ins, outs, 128);
            second.processReplacing(ins, outs, 128);
            for (float v : out0) ASSERT_TRUE(std::isfinite(v));
            ++blocks;
        }
    });
    std::vector<std::thread> hosts;
    for (int t = 0; t < 2; ++t) {
        hosts.emplace_back(hostThread, std::ref(first), t + 1, std::cref(stop));
        hosts.emplace_back(hostThread, std::ref(second), t + 11, std::cref(stop));
    }
    // Rename programs from yet another thread: the bank is shared by both instances.
    hosts.emplace_back([&] {
        char name[] = "Renamed";
        while (!stop.load()) second.dispatcher(effSetProgramName, 0, 0, name, 0);
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    for (auto& t : hosts) t.join();
    audio.join();
    EXPECT_GT(blocks.load(), 0);
}

}  // namespace
