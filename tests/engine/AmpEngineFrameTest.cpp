// The stereo frame path runs both channels' preamps side by side; it must be
// indistinguishable from one call per channel, bit for bit, in every
// configuration and across changes of it (the dither generators included,
// whose draws the two channels share in a fixed order).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/AmpEngine.h"
#include "engine/DitherNoise.h"

namespace {

using valvora::AmpEngine;
using valvora::ChannelSample;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Configuration {
    bool enabled, drive, tube, oversampling, speaker;
    double reverb;
};

void apply(AmpEngine& e, const Configuration& c, double rate)
{
    e.setEnabled(c.enabled);
    e.setDriveChannel(c.drive);
    e.setTubeMode(c.tube);
    e.setOversampling(c.oversampling);
    e.setSpeakerSim(c.speaker);
    e.setReverb(c.reverb);
    e.setRate(rate);
    e.setGain(0.9);
    e.setDriveVolume(0.7);
    e.setNormalVolume(0.8);
    e.setBass(0.3);
    e.setMiddle(0.6);
    e.setTreble(0.8);
    e.update();
}

// A loud, busy stereo test signal with different content per channel and the
// occasional hostile sample.
double signal(int n, int channel)
{
    const double inf = std::numeric_limits<double>::infinity();
    if (n % 997 == 500) return channel ? std::numeric_limits<double>::quiet_NaN() : 1e12;
    // The pair path trusts its inputs to be finite: these must not get there.
    if (n % 1499 == 700) return channel ? inf : -1e300;
    if (n % 2003 == 900) return channel ? -1.7e308 : -inf;
    const double t = n / 48000.0;
    return 0.9 * std::sin(2 * 3.14159265358979 * (channel ? 196.0 : 82.4) * t) * std::exp(-3.0 * (n % 9000) / 9000.0) +
           0.05 * std::sin(2 * 3.14159265358979 * 3100.0 * t + channel);
}

// Runs `frames` frames from `start` through both engines and reports the
// first frame where they differ (or -1).
int firstDifference(AmpEngine& byFrame, AmpEngine& byChannel, int start, int frames)
{
    for (int n = start; n < start + frames; ++n) {
        ChannelSample l, r, l2, r2;
        l.input = l2.input = signal(n, 0);
        r.input = r2.input = signal(n, 1);
        l.channel = 7;  // processFrame sets the channels itself
        byFrame.processFrame(l, r);
        l2.channel = 0;
        r2.channel = 1;
        byChannel.process(l2);
        byChannel.process(r2);
        if (!sameBits(l.output, l2.output) || !sameBits(r.output, r2.output)) return n;
    }
    return -1;
}

TEST(StereoFrame, EqualsOneCallPerChannelInEveryConfiguration)
{
    for (int bits = 0; bits < 32; ++bits) {
        const Configuration c{(bits & 1) == 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0, (bits & 16) != 0,
                              0.5};
        auto byFrame = std::make_unique<AmpEngine>();
        auto byChannel = std::make_unique<AmpEngine>();
        apply(*byFrame, c, 48000.0);
        apply(*byChannel, c, 48000.0);
        EXPECT_EQ(firstDifference(*byFrame, *byChannel, 0, 3000), -1) << "configuration " << bits;
    }
}

TEST(StereoFrame, StaysEqualAcrossSwitchesOfChannelVoicingAndOversampling)
{
    auto byFrame = std::make_unique<AmpEngine>();
    auto byChannel = std::make_unique<AmpEngine>();
    int n = 0;
    // Each step changes one switch; the frame path must keep the same states
    // and generator positions as the per-channel path through all of them.
    const Configuration steps[] = {
        {true, true, true, true, false, 0.0},   {true, true, false, true, false, 0.0},
        {true, false, false, true, true, 0.3},  {true, true, true, false, true, 0.3},
        {false, true, true, true, true, 0.3},   {true, true, true, true, true, 1.0},
        {true, false, true, false, false, 0.0}, {true, true, true, true, false, 0.0},
    };
    for (const Configuration& c : steps) {
        apply(*byFrame, c, 44100.0);
        apply(*byChannel, c, 44100.0);
        ASSERT_EQ(firstDifference(*byFrame, *byChannel, n, 1500), -1) << "after step at frame " << n;
        n += 1500;
    }
}

TEST(WideInstructions, GiveTheSameSoundBitForBitAsTheBaseInstructionSet)
{
    // The chain is compiled twice, for SSE2 and for AVX processors; a
    // processor change must never change the sound, in any configuration.
    if (!AmpEngine::useWideInstructions(true)) GTEST_SKIP() << "this processor has no AVX";
    for (int bits = 0; bits < 16; ++bits) {
        const Configuration c{true, (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0, 0.7};
        auto base = std::make_unique<AmpEngine>();
        auto wide = std::make_unique<AmpEngine>();
        apply(*base, c, 96000.0);
        apply(*wide, c, 96000.0);
        int differing = -1;
        for (int n = 0; n < 2000 && differing < 0; ++n) {
            ChannelSample l, r, l2, r2, m, m2;
            l.input = l2.input = m.input = m2.input = signal(n, 0);
            r.input = r2.input = signal(n, 1);
            m.channel = m2.channel = 0;
            AmpEngine::useWideInstructions(false);
            base->processFrame(l, r);
            base->process(m);
            AmpEngine::useWideInstructions(true);
            wide->processFrame(l2, r2);
            wide->process(m2);
            if (!sameBits(l.output, l2.output) || !sameBits(r.output, r2.output) || !sameBits(m.output, m2.output))
                differing = n;
        }
        EXPECT_EQ(differing, -1) << "configuration " << bits;
    }
    AmpEngine::useWideInstructions(true);
}

TEST(DitherNoiseAhead, JumpsExactlyAsFarAsThatManyDraws)
{
    valvora::DitherNoise stepped;
    for (int k = 0; k < 5; ++k) stepped.next();  // start away from the zero state
    const valvora::DitherNoise start = stepped;
    for (std::uint32_t steps = 0; steps <= 300; ++steps) {
        EXPECT_EQ(start.ahead(steps).state(), stepped.state()) << steps;
        stepped.next();
    }
    // A jump across the whole period comes back to the start.
    EXPECT_EQ(start.ahead(0u).state(), start.ahead(1u << 31).ahead(1u << 31).state());
}

}  // namespace
