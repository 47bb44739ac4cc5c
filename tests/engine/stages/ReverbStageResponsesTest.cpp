// The stored reverb responses against the room they are made to be.
#include <gtest/gtest.h>

#include <cmath>

#include "resources/ir/ImpulseResponses.h"

namespace valvora {
namespace {

const float* const tables[2] = {ir::reverbChannel0, ir::reverbChannel1};
constexpr int tailStart = 256;
constexpr int window = 1024;

double windowDb(const float* h, int start)
{
    double e = 0.0;
    for (int k = start; k < start + window; ++k) e += double(h[k]) * h[k];
    return 10.0 * std::log10(e);
}

TEST(ReverbResponses, directPartAndTailStartAreTheListedValues)
{
    for (const float* h : tables) {
        EXPECT_FLOAT_EQ(h[0], 0.76347f);
        EXPECT_FLOAT_EQ(h[1], 0.249403f);
        EXPECT_FLOAT_EQ(h[2], -0.068119f);
        EXPECT_FLOAT_EQ(h[3], 0.143458f);
        EXPECT_FLOAT_EQ(h[tailStart], -0.021309f);
    }
}

TEST(ReverbResponses, channelsShareTheTailUpTo561AndGoTheirOwnWayFrom562)
{
    for (int k = 0; k < 562; ++k) ASSERT_EQ(tables[0][k], tables[1][k]) << k;
    EXPECT_NE(tables[0][562], tables[1][562]);
    int differing = 0;
    for (int k = 562; k < ir::reverbLength; ++k) differing += tables[0][k] != tables[1][k];
    EXPECT_GT(differing, 0.99 * (ir::reverbLength - 562));
}

TEST(ReverbResponses, usedPartsCarryTheirEnergies)
{
    const double expected[2] = {0.063, 0.050};
    for (int c = 0; c < 2; ++c) {
        double e = 0.0;
        for (int k = tailStart; k < ir::reverbLength; ++k) e += double(tables[c][k]) * tables[c][k];
        EXPECT_NEAR(e, expected[c], 0.05 * expected[c]) << c;
    }
}

TEST(ReverbResponses, tailDecaysTwentyDecibelsPer4096TapsAtFirstAndReachesMinusSixtyNearTheEnd)
{
    for (const float* h : tables) {
        const double start = windowDb(h, tailStart);
        EXPECT_NEAR(windowDb(h, tailStart + 4096) - start, -20.0, 3.0);
        EXPECT_NEAR(windowDb(h, ir::reverbLength - 2 * window) - start, -60.0, 5.0);
    }
}

TEST(ReverbResponses, tailDecaysSmoothlyWithoutBumps)
{
    for (const float* h : tables) {
        double previous = windowDb(h, tailStart);
        for (int start = tailStart + window; start + window <= ir::reverbLength; start += window) {
            const double level = windowDb(h, start);
            EXPECT_LT(level, previous + 1.0) << start;
            previous = level;
        }
    }
}

}  // namespace
}  // namespace valvora
