// The per-sample chain's own behaviour: the bypass paths, NaN and infinity
// handling, and channel independence through the whole chain.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/AmpEngine.h"
#include "engine/DitherNoise.h"
#include "engine/Oversampler.h"

namespace {

using valvora::AmpEngine;
using valvora::ChannelSample;

double run(AmpEngine& engine, double x, int channel)
{
    ChannelSample s;
    s.input = x;
    s.channel = channel;
    engine.process(s);
    return s.output;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SignalPath, DisabledWithoutOversamplingPassesTheInputBitForBit)
{
    AmpEngine engine;
    engine.setEnabled(false);
    const double inputs[] = {0.5, -1e30, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(), -0.0, 4.9e-324};
    for (double x : inputs)
        for (int ch : {0, 1}) EXPECT_TRUE(sameBits(run(engine, x, ch), x)) << x;
}

TEST(SignalPath, DisabledWithOversamplingRunsOnlyTheResamplingFilters)
{
    AmpEngine engine;
    engine.setEnabled(false);
    engine.setOversampling(true);
    engine.update();
    valvora::Oversampler up, down;
    valvora::DitherNoise noise;
    for (int i = 0; i < 200; ++i) {
        const double x = i == 3 ? std::numeric_limits<double>::quiet_NaN() : std::sin(0.1 * i);
        double block[valvora::Oversampler::factor];
        up.up((std::isnan(x) ? 0.0 : x) + noise.next(), block);
        const double expected = down.down(block);
        EXPECT_EQ(run(engine, x, 0), expected) << i;
    }
}

TEST(SignalPath, NaNAndInfinityInputsActLikeSilence)
{
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        for (bool drive : {false, true}) {
            AmpEngine withBad, withZero;
            for (AmpEngine* e : {&withBad, &withZero}) {
                e->setDriveChannel(drive);
                e->setOversampling(true);
                e->update();
            }
            for (int i = 0; i < 300; ++i) {
                const double x = 0.3 * std::sin(0.05 * i);
                const bool burst = i >= 100 && i < 110;
                EXPECT_EQ(run(withBad, burst ? bad : x, 0), run(withZero, burst ? 0.0 : x, 0)) << i;
            }
        }
    }
}

TEST(SignalPath, ChannelsNeverLeakIntoEachOther)
{
    for (bool drive : {false, true}) {
        for (bool tube : {false, true}) {
            AmpEngine loud, quiet;
            for (AmpEngine* e : {&loud, &quiet}) {
                e->setDriveChannel(drive);
                e->setTubeMode(tube);
                e->setOversampling(true);
                e->setSpeakerSim(true);
                e->setReverb(0.5);
                e->update();
            }
            double worst = 0;
            for (int i = 0; i < 4000; ++i) {
                const double x = 0.8 * std::sin(0.03 * i);
                run(loud, x, 0);
                run(quiet, 0.0, 0);
                // Channel 1 of both engines sees the same input; its output
                // must not depend on what channel 0 carried.
                const double a = run(loud, 0.01 * std::sin(0.2 * i), 1);
                const double b = run(quiet, 0.01 * std::sin(0.2 * i), 1);
                worst = std::max(worst, std::fabs(a - b));
            }
            EXPECT_LT(worst, 1e-9) << "drive " << drive << " tube " << tube;
        }
    }
}

}  // namespace
