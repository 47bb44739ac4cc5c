// Hostile parameter values and huge input, through the module's entry point
// as a host drives it.
//
// Values: NaN, ±inf, ±1e30, -1, 2 and denormals on each of the 14 parameters,
// set before, during and after processing, with every switch toggled in
// between and a program switch away and back (the bank keeps the value), in
// both the bypassed and the enabled state, with SpeakerSim on and off: every
// output sample is finite and the peak is within that of the same sequence
// with the parameter at either end of its range.
//
// Input: bursts of huge and non-finite samples followed by silence on every
// path (enabled, bypassed, Oversample, TubeMode, Drive, Channels) and across
// every switch of those: everything finite, and once the reverb's tail has
// passed the output is back at the level the same sequence has after an
// in-range burst.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/PluginHost.h"

namespace {

using valvora::test::PluginHost;

enum : int {
    pEnable = 0, pChannel, pNormalVolume, pDriveVolume, pGain, pBass, pMiddle, pTreble,
    pReverb, pChannels, pOversample, pSpeakerSim, pTubeMode, pSpeakerMode, parameterCount
};

constexpr int blockFrames = 256;
constexpr float inf = std::numeric_limits<float>::infinity();
const float hostileValues[] = {std::numeric_limits<float>::quiet_NaN(), inf, -inf, 1e30f, -1e30f, -1.0f, 2.0f,
                               std::numeric_limits<float>::denorm_min(), -1e-40f};

// A guitar-like test signal: a decaying chord, plucked again every 4096 frames.
float diSample(long i, int channel)
{
    const double t = static_cast<double>(i % 4096) / 44100.0;
    const double envelope = std::exp(-t * 9.0);
    const double phase = 2.0 * 3.14159265358979323846 * static_cast<double>(i) / 44100.0;
    const double x = 0.45 * std::sin(82.4 * phase) + 0.3 * std::sin(246.9 * phase + channel) +
                     0.15 * std::sin(659.3 * phase);
    return static_cast<float>(envelope * x);
}

struct RunResult {
    double peak = 0.0;
    bool finite = true;
    std::string firstBad;
};

class Session {
public:
    explicit Session(bool doublePrecision = false) : useDouble(doublePrecision)
    {
        ok = host.open() != nullptr;
    }
    ~Session()
    {
        if (ok) host.close();
    }
    PluginHost host{VALVORA_MODULE_PATH};
    bool ok = false;
    bool useDouble;
    long frame = 0;
    RunResult run;

    // One block of the DI (or of `constant`, when given), checked.
    // wire: the block runs through the bypass without oversampling, a plain
    // wire that hands the host's samples back bit for bit, NaN included; it
    // keeps no state, so there is nothing to contain.
    void block(const char* where, const float* constant = nullptr, int frames = blockFrames, bool wire = false)
    {
        std::vector<float> in0(frames), in1(frames), out0(frames), out1(frames);
        for (int i = 0; i < frames; ++i) {
            in0[i] = constant ? constant[i % 64] : diSample(frame + i, 0);
            in1[i] = constant ? constant[(i + 7) % 64] : diSample(frame + i, 1);
        }
        if (useDouble) {
            std::vector<double> d0(in0.begin(), in0.end()), d1(in1.begin(), in1.end()), o0(frames), o1(frames);
            double* ins[2] = {d0.data(), d1.data()};
            double* outs[2] = {o0.data(), o1.data()};
            host.process(ins, outs, frames);
            for (int i = 0; i < frames; ++i) {
                out0[i] = static_cast<float>(o0[i]);
                out1[i] = static_cast<float>(o1[i]);
            }
        } else {
            float* ins[2] = {in0.data(), in1.data()};
            float* outs[2] = {out0.data(), out1.data()};
            host.process(ins, outs, frames);
        }
        for (int i = 0; i < frames; ++i)
            for (float y : {out0[i], out1[i]}) {
                if (!std::isfinite(y)) {
                    if (wire) continue;
                    if (run.finite) run.firstBad = std::string(where) + " at frame " + std::to_string(frame + i);
                    run.finite = false;
                } else {
                    run.peak = std::max(run.peak, static_cast<double>(std::fabs(y)));
                }
            }
        frame += frames;
    }
};

const int switches[] = {pEnable, pChannel, pChannels, pOversample, pSpeakerSim, pTubeMode, pSpeakerMode};

// The sequence: the Default program with Enable and SpeakerSim as given and
// the reverb audible, `value` on parameter `index` before the first block,
// again while blocks run, across a toggle of every switch and a program
// switch away and back.
RunResult hostileSequence(int index, float value, bool enabled, bool speakerSim, bool useDouble = false)
{
    Session s(useDouble);
    if (!s.ok) {
        RunResult r;
        r.finite = false;
        r.firstBad = "no instance";
        return r;
    }
    PluginHost& h = s.host;
    h.setParameter(pEnable, enabled ? 1.0f : 0.0f);
    h.setParameter(pSpeakerSim, speakerSim ? 1.0f : 0.0f);
    h.setParameter(pChannels, 1.0f);
    h.setParameter(pReverb, 0.6f);
    h.setParameter(index, value);  // before processing
    s.block("first block");
    s.block("second block");
    h.setParameter(index, value);  // during
    s.block("during");
    for (int sw : switches) {
        if (sw == index) continue;
        const float was = h.getParameter(sw);
        h.setParameter(sw, was >= 0.5f ? 0.0f : 1.0f);
        s.block("switch toggled");
        h.setParameter(index, value);
        s.block("value set again after the toggle");
        h.setParameter(sw, was);
        s.block("switch back");
    }
    // The bank keeps the value: switching away and back brings it back.
    h.dispatch(effSetProgram, 0, 3);
    s.block("program 3");
    h.dispatch(effSetProgram, 0, 0);
    h.setParameter(pEnable, enabled ? 1.0f : 0.0f);
    h.setParameter(pSpeakerSim, speakerSim ? 1.0f : 0.0f);
    h.setParameter(pReverb, index == pReverb ? value : 0.6f);
    s.block("program 0 again");
    for (int i = 0; i < 8; ++i) s.block("after");
    return s.run;
}

struct ValueCase {
    int index;
    bool enabled;
    bool speakerSim;
};

class HostileParameterValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(HostileParameterValues, OutputStaysFiniteAndWithinTheInRangePeak)
{
    const ValueCase c = GetParam();
    // The in-range bound: the same sequence with the value at either end.
    const RunResult low = hostileSequence(c.index, 0.0f, c.enabled, c.speakerSim);
    const RunResult high = hostileSequence(c.index, 1.0f, c.enabled, c.speakerSim);
    ASSERT_TRUE(low.finite && high.finite) << low.firstBad << high.firstBad;
    const double bound = std::max(low.peak, high.peak) * 1.02 + 1e-6;
    int n = 0;
    for (float value : hostileValues) {
        const RunResult r = hostileSequence(c.index, value, c.enabled, c.speakerSim, (n++ & 1) != 0);
        EXPECT_TRUE(r.finite) << "parameter " << c.index << " = " << value << ": non-finite output, " << r.firstBad;
        EXPECT_LE(r.peak, bound) << "parameter " << c.index << " = " << value << ": peak " << r.peak
                                 << " beyond the in-range programs' " << bound;
    }
}

// Under wine every instance's 18 worker threads cost far more than on Linux:
// the Windows module runs every parameter and value in both states, the
// Linux one also every pairing of state and SpeakerSim.
#ifdef _WIN32
constexpr bool fullSweep = false;
#else
constexpr bool fullSweep = true;
#endif

std::vector<ValueCase> valueCases()
{
    std::vector<ValueCase> cases;
    for (int index = 0; index < parameterCount; ++index)
        for (bool enabled : {true, false})
            for (bool speaker : {true, false})
                if (fullSweep || enabled == speaker) cases.push_back({index, enabled, speaker});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryParameter, HostileParameterValues, ::testing::ValuesIn(valueCases()),
                         [](const ::testing::TestParamInfo<ValueCase>& param) {
                             return "p" + std::to_string(param.param.index) +
                                    (param.param.enabled ? "_enabled" : "_bypassed") +
                                    (param.param.speakerSim ? "_speaker" : "_nospeaker");
                         });

// The finding itself: -inf and -1e30 on Reverb with SpeakerSim off.
TEST(HostileParameterValues, NegativeReverbIsSilentWetNotNaN)
{
    for (float value : {-inf, -1e30f, -1.0f}) {
        Session s;
        ASSERT_TRUE(s.ok);
        s.host.setParameter(pSpeakerSim, 0.0f);
        s.host.setParameter(pReverb, value);
        for (int i = 0; i < 16; ++i) s.block("negative reverb");
        EXPECT_TRUE(s.run.finite) << value << ": " << s.run.firstBad;
        EXPECT_LT(s.run.peak, 4.0) << value;
        // The bank keeps it, and switching back brings it back contained.
        s.host.dispatch(effSetProgram, 0, 5);
        s.host.dispatch(effSetProgram, 0, 0);
        for (int i = 0; i < 8; ++i) s.block("after the program switch");
        EXPECT_TRUE(s.run.finite) << value << ": " << s.run.firstBad;
        EXPECT_LT(s.run.peak, 4.0) << value;
        EXPECT_EQ(s.host.getParameter(pReverb), value) << "the value is stored as given";
    }
}

// ---- huge input -------------------------------------------------------------

struct Path {
    bool enabled, oversample, drive, tube, twoChannels;
};

std::string pathName(const Path& p)
{
    return std::string(p.enabled ? "enabled" : "bypassed") + (p.oversample ? "_os" : "") + (p.drive ? "_drive" : "_normal") +
           (p.tube ? "_tube" : "") + (p.twoChannels ? "_stereo" : "_mono");
}

// 64 frames, repeated by Session::block.
std::vector<float> burst(int kind)
{
    std::vector<float> b(64);
    for (int i = 0; i < 64; ++i) {
        switch (kind) {
            case 0: b[i] = 1e30f; break;                                  // huge DC
            case 1: b[i] = (i & 1) ? FLT_MAX : -FLT_MAX; break;           // huge Nyquist
            case 2: {                                                     // everything at once
                const float mix[] = {1e30f, -FLT_MAX, FLT_MAX, inf, std::numeric_limits<float>::quiet_NaN(), -1e30f, -inf, 3e38f};
                b[i] = mix[i % 8];
                break;
            }
            default: b[i] = (i & 1) ? 1.0f : -1.0f;                        // the in-range reference
        }
    }
    return b;
}

const int pathSwitches[] = {pEnable, pOversample, pTubeMode, pChannel, pChannels};

struct BurstRun {
    RunResult whole;
    double bypassedAfterBurst = 0.0;  // peak over the bypassed windows after the burst's silence
    double enabledAfterBurst = 0.0;   // the same for the enabled ones (the reverb's tail plays there)
    double afterTail = 0.0;           // peak once the reverb's tail has passed
    std::string worstBypassed;
};

// The burst, 8192 frames of silence (the finding's sequence), every switch
// toggled and back in turn with silence between, then silence until the
// reverb's tail (32768 taps at half the host rate: 1.5 s) has passed.
BurstRun burstSequence(const Path& p, int kind)
{
    BurstRun r;
    Session s;
    if (!s.ok) {
        r.whole.finite = false;
        return r;
    }
    PluginHost& h = s.host;
    h.setParameter(pEnable, p.enabled ? 1.0f : 0.0f);
    h.setParameter(pOversample, p.oversample ? 1.0f : 0.0f);
    h.setParameter(pChannel, p.drive ? 1.0f : 0.0f);
    h.setParameter(pTubeMode, p.tube ? 1.0f : 0.0f);
    h.setParameter(pChannels, p.twoChannels ? 1.0f : 0.0f);
    h.setParameter(pReverb, 0.6f);
    const std::vector<float> silence(64, 0.0f);
    s.block("warm-up", silence.data(), 1024);
    const std::vector<float> b = burst(kind);
    s.block("burst", b.data(), 64, !p.enabled && !p.oversample);
    s.block("silence", silence.data(), 8192);
    auto window = [&](const char* label, const std::string& name) {
        s.run.peak = 0.0;
        s.block(label, silence.data(), 2048);
        const bool bypassed = h.getParameter(pEnable) < 0.5f;
        double& worst = bypassed ? r.bypassedAfterBurst : r.enabledAfterBurst;
        if (s.run.peak > worst) {
            worst = s.run.peak;
            if (bypassed) r.worstBypassed = name;
        }
    };
    for (int sw : pathSwitches) {
        const float was = h.getParameter(sw);
        h.setParameter(sw, was >= 0.5f ? 0.0f : 1.0f);
        window("after a switch", "after switching parameter " + std::to_string(sw));
        h.setParameter(sw, was);
        window("after switching back", "after switching parameter " + std::to_string(sw) + " back");
    }
    s.block("tail", silence.data(), 65536 + 8192);
    s.run.peak = 0.0;
    s.block("after the tail", silence.data(), 8192);
    r.afterTail = s.run.peak;
    r.whole = s.run;
    return r;
}

class HugeInput : public ::testing::TestWithParam<Path> {};

TEST_P(HugeInput, BurstsAreContainedAndDecayToTheInRangeLevel)
{
    const Path p = GetParam();
    const BurstRun reference = burstSequence(p, 3);
    ASSERT_TRUE(reference.whole.finite) << reference.whole.firstBad;
    for (int kind = 0; kind < 3; ++kind) {
        const BurstRun r = burstSequence(p, kind);
        EXPECT_TRUE(r.whole.finite) << pathName(p) << " burst " << kind << ": " << r.whole.firstBad;
        // Nothing of the burst may surface in bypass, where no reverb plays
        // a tail: at most -40 dB full scale, the click that the input
        // stage's slow coupling leaves of a burst held at +80 dB (before the
        // limit: 1e9) ...
        EXPECT_LE(r.bypassedAfterBurst, std::max(4.0 * reference.bypassedAfterBurst, 1e-2))
            << pathName(p) << " burst " << kind << ", " << r.worstBypassed << " (reference "
            << reference.bypassedAfterBurst << ")";
        // ... and only the reverb's tail where enabled: once it has passed,
        // the output is back at the in-range level.
        EXPECT_LE(r.afterTail, std::max(4.0 * reference.afterTail, 1e-6))
            << pathName(p) << " burst " << kind << " (reference " << reference.afterTail << ", during the tail "
            << r.enabledAfterBurst << ")";
    }
}

std::vector<Path> paths()
{
    std::vector<Path> v;
    for (bool enabled : {true, false})
        for (bool oversample : {true, false})
            for (int voice = 0; voice < 3; ++voice)
                for (bool stereo : {true, false})
                    if (fullSweep || (stereo && voice != 1))
                        v.push_back({enabled, oversample, voice > 0, voice == 2, stereo});
    return v;
}

INSTANTIATE_TEST_SUITE_P(EveryPath, HugeInput, ::testing::ValuesIn(paths()),
                         [](const ::testing::TestParamInfo<Path>& param) { return pathName(param.param); });

}  // namespace
