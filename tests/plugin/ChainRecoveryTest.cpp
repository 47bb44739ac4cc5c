// The whole chain at every factory program's settings, fed silence,
// full-scale squares, 1e30, infinities and NaN bursts: every output stays
// finite and, once normal audio returns, the level returns to what a fresh
// instance gives for the same audio.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "plugin/AmpPlugin.h"
#include "plugin/ProgramBank.h"

namespace {

using valvora::AmpPlugin;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Rig {
public:
    explicit Rig(int program) : plugin(hostCallback)
    {
        const valvora::ProgramRecord& record = valvora::factoryProgram(program);
        for (int i = 0; i < valvora::parameterCount; ++i) plugin.setParameter(i, record.values[i]);
        plugin.setSampleRate(48000.0f);
    }
    // Processes `frames` samples from `source(i)` in blocks of 256; returns
    // false if any output was not finite.
    template <typename Source>
    bool run(int frames, Source source, std::vector<float>* tail = nullptr)
    {
        bool finite = true;
        for (int done = 0; done < frames; done += 256) {
            for (int i = 0; i < 256; ++i) in[i] = source(done + i);
            float* ins[2] = {in, in};
            float* outs[2] = {out0, out1};
            plugin.processReplacing(ins, outs, 256);
            for (int i = 0; i < 256; ++i) {
                finite = finite && std::isfinite(out0[i]) && std::isfinite(out1[i]);
                if (tail) tail->push_back(out0[i]);
            }
        }
        return finite;
    }

private:
    AmpPlugin plugin;
    float in[256], out0[256], out1[256];
};

float music(int i) { return 0.1f * std::sin(2.0f * 3.14159265f * 196.0f * static_cast<float>(i) / 48000.0f); }

double rms(const std::vector<float>& x, std::size_t from)
{
    double sum = 0;
    for (std::size_t i = from; i < x.size(); ++i) sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(x.size() - from));
}

TEST(ChainRecovery, EveryProgramSurvivesHostileInputAndRecovers)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int program = 0; program < 16; ++program) {
        SCOPED_TRACE(program);
        Rig rig(program);
        EXPECT_TRUE(rig.run(4096, [](int) { return 0.0f; }));
        EXPECT_TRUE(rig.run(9600, [](int i) { return (i / 120) % 2 ? 1.0f : -1.0f; }));
        for (float burst : {1e30f, -1e30f, inf, -inf, nan}) EXPECT_TRUE(rig.run(512, [=](int) { return burst; }));
        std::vector<float> after;
        EXPECT_TRUE(rig.run(48000, music, &after));

        Rig fresh(program);
        std::vector<float> reference;
        fresh.run(48000, music, &reference);
        const double level = rms(after, after.size() - 9600);
        const double expected = rms(reference, reference.size() - 9600);
        ASSERT_GT(expected, 1e-6);
        EXPECT_GT(level, expected * 0.25);
        EXPECT_LT(level, expected * 4.0);
    }
}

}  // namespace
