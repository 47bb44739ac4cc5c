// The audio thread's time for the block that applies an Oversample switch or
// a rate change across the cabinet families, against a normal block, through
// the plug-in object as a host drives it: the host thread names the rate
// (setSampleRate), the audio thread's next block applies it. 64-frame
// blocks, the heaviest factory program ("Tube Shred": drive, tube mode, 8x
// oversampling, reverb, cabinet). Prints medians and maxima of each kind and
// the ratios; exits 1 when a switch block's median is beyond twice the
// normal block's (the figure issue 14 asks for), 0 otherwise.
//
//   build/linux/bench/SwitchBlockBench [rounds]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin/AmpPlugin.h"

namespace {

using Clock = std::chrono::steady_clock;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int frames = 64;

struct Block {
    std::vector<float> in0, in1, out0, out1;
    long position = 0;
    Block() : in0(frames), in1(frames), out0(frames), out1(frames) {}
    double run(valvora::AmpPlugin& plugin)
    {
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(position + i) / 48000.0;
            in0[i] = static_cast<float>(0.4 * std::sin(2 * 3.14159265358979 * 110.0 * t) * std::exp(-std::fmod(t, 1.0) * 3));
            in1[i] = in0[i];
        }
        position += frames;
        float* ins[2] = {in0.data(), in1.data()};
        float* outs[2] = {out0.data(), out1.data()};
        const auto start = Clock::now();
        plugin.processReplacing(ins, outs, frames);
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
};

struct Figures {
    std::vector<double> samples;
    double median()
    {
        std::sort(samples.begin(), samples.end());
        return samples.empty() ? 0.0 : samples[samples.size() / 2];
    }
    double max() const { return samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end()); }
};

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    valvora::AmpPlugin plugin(hostCallback);
    plugin.setProgram(10);  // Tube Shred
    plugin.setSampleRate(48000.0f);
    Block block;
    for (int i = 0; i < 400; ++i) block.run(plugin);

    Figures normalOn, normalOff, toggleOff, toggleOn, normal48, normal44, rateTo44, rateTo48;
    const unsigned rebuildsBefore = plugin.engineForTest().updateCounts().triodeRebuilds;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < 16; ++i) normalOn.samples.push_back(block.run(plugin));
        plugin.setParameter(valvora::paramOversample, 0.0f);
        toggleOff.samples.push_back(block.run(plugin));
        for (int i = 0; i < 16; ++i) normalOff.samples.push_back(block.run(plugin));
        plugin.setParameter(valvora::paramOversample, 1.0f);
        toggleOn.samples.push_back(block.run(plugin));
    }
    // The cabinets' workers restart at the 256th sample after the change:
    // the fourth block after it is measured too.
    Figures fourthAfter44, fourthAfter48;
    for (int r = 0; r < rounds; ++r) {
        plugin.setSampleRate(44100.0f);  // host thread: prepares, then the block applies
        rateTo44.samples.push_back(block.run(plugin));
        for (int i = 0; i < 16; ++i) (i == 3 ? fourthAfter44 : normal44).samples.push_back(block.run(plugin));
        plugin.setSampleRate(48000.0f);
        rateTo48.samples.push_back(block.run(plugin));
        for (int i = 0; i < 16; ++i) (i == 3 ? fourthAfter48 : normal48).samples.push_back(block.run(plugin));
    }
    const unsigned rebuilds = plugin.engineForTest().updateCounts().triodeRebuilds - rebuildsBefore;

    std::printf("64-frame blocks, Tube Shred, %d rounds; microseconds (median / max)\n", rounds);
    std::printf("  normal block, 8x on        %8.1f / %8.1f\n", normalOn.median(), normalOn.max());
    std::printf("  normal block, 8x off       %8.1f / %8.1f\n", normalOff.median(), normalOff.max());
    std::printf("  Oversample switched off    %8.1f / %8.1f  (%.2fx the 8x-off block)\n", toggleOff.median(),
                toggleOff.max(), toggleOff.median() / normalOff.median());
    std::printf("  Oversample switched on     %8.1f / %8.1f  (%.2fx the 8x-on block)\n", toggleOn.median(),
                toggleOn.max(), toggleOn.median() / normalOn.median());
    std::printf("  normal block at 44.1 kHz   %8.1f / %8.1f\n", normal44.median(), normal44.max());
    std::printf("  normal block at 48 kHz     %8.1f / %8.1f\n", normal48.median(), normal48.max());
    std::printf("  rate 48 -> 44.1 kHz        %8.1f / %8.1f  (%.2fx the 44.1 kHz block)\n", rateTo44.median(),
                rateTo44.max(), rateTo44.median() / normal44.median());
    std::printf("  rate 44.1 -> 48 kHz        %8.1f / %8.1f  (%.2fx the 48 kHz block)\n", rateTo48.median(),
                rateTo48.max(), rateTo48.median() / normal48.median());
    std::printf("  4th block after, 44.1 kHz  %8.1f / %8.1f  (%.2fx)\n", fourthAfter44.median(), fourthAfter44.max(),
                fourthAfter44.median() / normal44.median());
    std::printf("  4th block after, 48 kHz    %8.1f / %8.1f  (%.2fx)\n", fourthAfter48.median(), fourthAfter48.max(),
                fourthAfter48.median() / normal48.median());
    std::printf("  triode rebuilds on the audio thread: %u\n", rebuilds);
    const bool within = toggleOff.median() <= 2 * normalOff.median() && toggleOn.median() <= 2 * normalOn.median() &&
                        rateTo44.median() <= 2 * normal44.median() && rateTo48.median() <= 2 * normal48.median() &&
                        fourthAfter44.median() <= 2 * normal44.median() &&
                        fourthAfter48.median() <= 2 * normal48.median();
    std::printf("%s\n", within ? "within 2x of a normal block" : "BEYOND 2x of a normal block");
    return within && rebuilds == 0 ? 0 : 1;
}
