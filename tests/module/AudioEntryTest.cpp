// The audio entry through the record: channel layouts, 32- and 64-bit paths,
// the bypass, and hostile audio and block sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/support/PluginHost.h"

namespace {

using valvora::test::PluginHost;

template <typename T>
struct Buffers {
    explicit Buffers(int frames, T inValue = T(0))
        : in0(frames, inValue), in1(frames, inValue), out0(frames, T(-7)), out1(frames, T(-7))
    {
    }
    T* ins[2] = {nullptr, nullptr};
    T* outs[2] = {nullptr, nullptr};
    std::vector<T> in0, in1, out0, out1;
    T** inputs()
    {
        ins[0] = in0.data();
        ins[1] = in1.data();
        return ins;
    }
    T** outputs()
    {
        outs[0] = out0.data();
        outs[1] = out1.data();
        return outs;
    }
};

class AudioEntry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(host.open(), nullptr) << host.loadError(); }
    void stereoArrangement(int channels)
    {
        VstSpeakerArrangement in{}, out{};
        in.numChannels = channels;
        out.numChannels = channels;
        host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    }
    PluginHost host{VALVORA_MODULE_PATH};
};

std::vector<float> sine(int frames, double frequency, double rate, double amplitude)
{
    std::vector<float> x(frames);
    for (int i = 0; i < frames; ++i) x[i] = static_cast<float>(amplitude * std::sin(2 * 3.14159265358979323846 * frequency * i / rate));
    return x;
}

bool allFinite(const std::vector<float>& x)
{
    for (float v : x)
        if (!std::isfinite(v)) return false;
    return true;
}

TEST_F(AudioEntry, DefaultChannelModeWritesChannelZerosResultToBothOutputs)
{
    host.setParameter(9, 0.0f);  // Channels: 1
    Buffers<float> b(512);
    b.in0 = sine(512, 440, 44100, 0.5);
    b.in1 = sine(512, 1000, 44100, 0.1);
    host.process(b.inputs(), b.outputs(), 512);
    EXPECT_EQ(b.out0, b.out1);
    EXPECT_GT(std::fabs(b.out0[200]), 1e-6f);
}

TEST_F(AudioEntry, StereoModeKeepsTheChannelsApart)
{
    // Program 0 has Channels at 1 (stereo) and the host arrangement starts at
    // 2. Channel 1 carries the same quiet signal in two instances while only
    // one of them gets a loud channel 0: channel 1's outputs must agree.
    PluginHost quiet(VALVORA_MODULE_PATH);
    ASSERT_NE(quiet.open(), nullptr);
    Buffers<float> loudRun(2048), quietRun(2048);
    loudRun.in0 = sine(2048, 440, 44100, 0.5);
    loudRun.in1 = sine(2048, 1000, 44100, 0.01);
    std::fill(quietRun.in0.begin(), quietRun.in0.end(), 0.0f);
    quietRun.in1 = loudRun.in1;
    host.process(loudRun.inputs(), loudRun.outputs(), 2048);
    quiet.process(quietRun.inputs(), quietRun.outputs(), 2048);
    float left = 0, leak = 0;
    for (int i = 0; i < 2048; ++i) {
        left = std::max(left, std::fabs(loudRun.out0[i] - quietRun.out0[i]));
        leak = std::max(leak, std::fabs(loudRun.out1[i] - quietRun.out1[i]));
    }
    EXPECT_GT(left, 1e-3f);
    EXPECT_LT(leak, 1e-7f) << "channel 0's signal leaked into channel 1";
}

TEST_F(AudioEntry, AnArrangementOtherThanTwoChannelsGivesMonoIntoBoth)
{
    for (int channels : {1, 6}) {
        stereoArrangement(channels);
        Buffers<float> b(256);
        b.in0 = sine(256, 440, 44100, 0.5);
        b.in1 = sine(256, 3000, 44100, 0.5);
        host.process(b.inputs(), b.outputs(), 256);
        EXPECT_EQ(b.out0, b.out1) << channels;
    }
}

TEST_F(AudioEntry, ANullSecondBufferGivesOutputOnlyInTheFirst)
{
    Buffers<float> b(256);
    b.in0 = sine(256, 440, 44100, 0.5);
    float* ins[2] = {b.in0.data(), nullptr};
    float* outs[2] = {b.out0.data(), b.out1.data()};
    host.process(ins, outs, 256);
    for (float v : b.out1) EXPECT_EQ(v, -7.0f);
    EXPECT_NE(b.out0[100], -7.0f);

    float* ins2[2] = {b.in0.data(), b.in1.data()};
    float* outs2[2] = {b.out0.data(), nullptr};
    host.process(ins2, outs2, 256);
}

TEST_F(AudioEntry, NullArraysAndEmptyBlocksWriteNothing)
{
    Buffers<float> b(16);
    host.process(static_cast<float**>(nullptr), b.outputs(), 16);
    host.process(b.inputs(), static_cast<float**>(nullptr), 16);
    host.process(b.inputs(), b.outputs(), 0);
    host.process(b.inputs(), b.outputs(), -5);
    for (float v : b.out0) EXPECT_EQ(v, -7.0f);
    float* nullChannels[2] = {nullptr, nullptr};
    host.process(nullChannels, nullChannels, 16);
}

TEST_F(AudioEntry, BypassPassesTheInputBitForBitIncludingNaN)
{
    host.setParameter(0, 0.0f);   // Enable off
    host.setParameter(10, 0.0f);  // Oversample off
    Buffers<float> b(8);
    b.in0 = {0.25f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f, 0.0f, -0.0f, 3.0f, 1e-38f};
    b.in1 = b.in0;
    host.process(b.inputs(), b.outputs(), 8);
    for (int i = 0; i < 8; ++i) {
        if (std::isnan(b.in0[i]))
            EXPECT_TRUE(std::isnan(b.out0[i]));
        else
            EXPECT_EQ(b.out0[i], b.in0[i]) << i;
    }
    Buffers<double> d(3);
    d.in0 = {0.1, std::numeric_limits<double>::quiet_NaN(), -2.5};
    d.in1 = d.in0;
    host.process(d.inputs(), d.outputs(), 3);
    EXPECT_EQ(d.out0[0], 0.1);
    EXPECT_TRUE(std::isnan(d.out0[1]));
    EXPECT_EQ(d.out0[2], -2.5);
}

TEST_F(AudioEntry, ThirtyTwoAndSixtyFourBitPathsAgreeToFloatPrecision)
{
    PluginHost other(VALVORA_MODULE_PATH);
    ASSERT_NE(other.open(), nullptr);
    const int frames = 4096;
    Buffers<float> f(frames);
    f.in0 = sine(frames, 220, 44100, 0.4);
    f.in1 = sine(frames, 330, 44100, 0.4);
    Buffers<double> d(frames);
    for (int i = 0; i < frames; ++i) {
        d.in0[i] = f.in0[i];
        d.in1[i] = f.in1[i];
    }
    host.process(f.inputs(), f.outputs(), frames);
    other.process(d.inputs(), d.outputs(), frames);
    for (int i = 0; i < frames; ++i) {
        EXPECT_NEAR(f.out0[i], d.out0[i], 1e-6 + 1e-6 * std::fabs(d.out0[i])) << i;
        EXPECT_NEAR(f.out1[i], d.out1[i], 1e-6 + 1e-6 * std::fabs(d.out1[i])) << i;
    }
}

TEST_F(AudioEntry, HostileSamplesNeverLeaveTheOutputNonFinite)
{
    const int frames = 512;
    Buffers<float> b(frames);
    const float bursts[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
    for (float burst : bursts) {
        std::fill(b.in0.begin(), b.in0.end(), burst);
        std::fill(b.in1.begin(), b.in1.end(), burst);
        host.process(b.inputs(), b.outputs(), frames);
    }
    b.in0 = sine(frames, 440, 44100, 0.5);
    b.in1 = b.in0;
    for (int block = 0; block < 200; ++block) host.process(b.inputs(), b.outputs(), frames);
    EXPECT_TRUE(allFinite(b.out0));
    EXPECT_TRUE(allFinite(b.out1));
    float peak = 0;
    for (float v : b.out0) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 1e-4f) << "the chain went silent after the bursts";
    EXPECT_LT(peak, 100.0f);
}

TEST_F(AudioEntry, BlocksOfAnySizeUpToTheLimitAreProcessed)
{
    host.dispatch(effSetBlockSize, 0, 65536);
    for (int frames : {1, 2, 3, 64, 255, 4096, 65536}) {
        Buffers<float> b(frames, 0.1f);
        host.process(b.inputs(), b.outputs(), frames);
        EXPECT_NE(b.out0.back(), -7.0f) << frames;
        EXPECT_TRUE(allFinite(b.out0));
    }
}

TEST_F(AudioEntry, RatesAtAndBeyondTheLimitsAreHarmless)
{
    for (float rate : {10000.0f, 10001.0f, 199999.0f, 200000.0f, 0.0f, -44100.0f, 1e9f,
                       std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        Buffers<float> b(128);
        b.in0 = sine(128, 440, 44100, 0.5);
        b.in1 = b.in0;
        host.process(b.inputs(), b.outputs(), 128);
        EXPECT_TRUE(allFinite(b.out0)) << rate;
    }
}

}  // namespace
