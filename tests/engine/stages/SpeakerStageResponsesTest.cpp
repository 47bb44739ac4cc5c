// The stored cabinet responses against the shape they are made to have.
#include <gtest/gtest.h>

#include <cmath>

#include "resources/ir/ImpulseResponses.h"

namespace valvora {
namespace {

constexpr double twoPi = 6.283185307179586476925286766559;

double levelDb(const float* h, double rate, double f)
{
    double re = 0.0, im = 0.0;
    for (int k = 0; k < ir::cabinetLength; ++k) {
        re += h[k] * std::cos(twoPi * f * k / rate);
        im -= h[k] * std::sin(twoPi * f * k / rate);
    }
    return 10.0 * std::log10(re * re + im * im);
}

struct Cabinet {
    const char* name;
    const float* table;
    double rate;
    float firstTaps[4];
    double peakLow, peakHigh;  // where the presence peak must lie
    double at50Hz;
};

const Cabinet cabinets[] = {
    {"1x10 at 44.1 kHz",
     ir::cabinet1x10At44k,
     44100,
     {0.005974f, 0.050378f, 0.128239f, 0.194896f},
     2500,
     2800,
     -15},
    {"1x10 at 48 kHz",
     ir::cabinet1x10At48k,
     48000,
     {0.022055f, 0.082516f, 0.155015f, 0.205875f},
     2500,
     2800,
     -15},
    {"2x12 at 44.1 kHz",
     ir::cabinet2x12At44k,
     44100,
     {0.001175f, 0.022961f, 0.084328f, 0.171525f},
     2250,
     2550,
     -27},
    {"2x12 at 48 kHz",
     ir::cabinet2x12At48k,
     48000,
     {0.007938f, 0.044542f, 0.113624f, 0.194577f},
     2250,
     2550,
     -27},
};

class CabinetResponse : public ::testing::TestWithParam<Cabinet> {};

TEST_P(CabinetResponse, beginsWithTheListedTaps)
{
    const Cabinet& c = GetParam();
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(c.table[k], c.firstTaps[k]) << k;
}

TEST_P(CabinetResponse, hasItsPresencePeakAtAboutPlusSevenDecibels)
{
    const Cabinet& c = GetParam();
    double peak = -1e9, where = 0.0;
    for (double f = 1500.0; f <= 4000.0; f += 5.0) {
        const double level = levelDb(c.table, c.rate, f);
        if (level > peak) peak = level, where = f;
    }
    EXPECT_GE(where, c.peakLow);
    EXPECT_LE(where, c.peakHigh);
    EXPECT_NEAR(peak, 7.0, 1.5);
}

TEST_P(CabinetResponse, isFlatThroughTheBodyAndRollsOffAtBothEnds)
{
    const Cabinet& c = GetParam();
    for (double f = 100.0; f <= 2000.0; f *= 1.1)
        EXPECT_NEAR(levelDb(c.table, c.rate, f), 0.0, 5.0) << f << " Hz";
    EXPECT_NEAR(levelDb(c.table, c.rate, 3000.0), 0.0, 6.5);
    EXPECT_NEAR(levelDb(c.table, c.rate, 6000.0), -13.0, 2.5);
    const double at8k = levelDb(c.table, c.rate, 8000.0);
    EXPECT_GE(at8k, -25.5);
    EXPECT_LE(at8k, -20.5);
    EXPECT_NEAR(levelDb(c.table, c.rate, 50.0), c.at50Hz, 3.0);
}

TEST_P(CabinetResponse, startsAtOnceAndDiesAwayWithoutPreRinging)
{
    const Cabinet& c = GetParam();
    double total = 0.0, early = 0.0, last = 0.0;
    int loudest = 0;
    for (int k = 0; k < ir::cabinetLength; ++k) {
        const double e = double(c.table[k]) * c.table[k];
        total += e;
        if (k < c.rate * 0.002) early += e;
        if (k >= ir::cabinetLength - 64) last += e;
        if (std::fabs(c.table[k]) > std::fabs(c.table[loudest])) loudest = k;
    }
    EXPECT_LT(loudest, 16);
    EXPECT_GT(early / total, 0.6);
    EXPECT_LT(last / total, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(AllFour, CabinetResponse, ::testing::ValuesIn(cabinets),
                         [](const ::testing::TestParamInfo<Cabinet>& p) { return std::to_string(p.index); });

}  // namespace
}  // namespace valvora
