#include "engine/WaveshaperTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using valvora::WaveshaperTable;

namespace {

const WaveshaperTable& table()
{
    return WaveshaperTable::instance();
}

// The clipper solved independently: parametrised by the second node's
// voltage v2 instead of the first node's, each junction law used in its
// hyperbolic form, and bisected in long double to full precision. Returns
// the first node's voltage for input x.
double firstNodeVoltage(double x)
{
    using R = long double;
    const R vt = 0.026L;
    auto firstNodeAndInput = [&](R v2, R& w) {
        const R current = 2 * 2.682e-9L * std::sinh(v2 / (1.836L * vt)) + v2 / 220000;
        w = v2 + 3.73L * vt * std::asinh(current / (2 * 9.32e-11L));
        return 3300 * (current + w / 470000);  // the input that needs this v2
    };
    R lo = 0, hi = 2.45L, w = 0;
    for (int i = 0; i < 200; ++i) {
        const R mid = (lo + hi) / 2;
        (firstNodeAndInput(mid, w) < x ? lo : hi) = mid;
    }
    firstNodeAndInput(lo, w);
    return static_cast<double>(w);
}

double gridInput(int index)
{
    const int i = std::min(index / 256, 3);
    const int j = index - 256 * i;
    const auto& b = WaveshaperTable::breakpoints;
    return b[i] + (b[i + 1] - b[i]) * j / 256.0;
}

}  // namespace

TEST(WaveshaperTableCurve, everyPointSolvesTheClipperWithinTheBisectionWidth)
{
    EXPECT_EQ(table().point(0), 0.0);
    for (int k = 1; k < WaveshaperTable::pointCount; ++k)
        ASSERT_NEAR(table().point(k), firstNodeVoltage(gridInput(k)), 1e-5) << "point " << k;
}

TEST(WaveshaperTableCurve, startsAtZeroAndRisesMonotonically)
{
    EXPECT_EQ(table().lookup(0.0), 0.0);
    for (int k = 1; k < WaveshaperTable::pointCount; ++k)
        ASSERT_GT(table().point(k), table().point(k - 1)) << k;
    double previous = 0.0;
    for (double x = 1e-4; x < 16.0; x *= 1.001) {
        const double y = table().lookup(x);
        ASSERT_GE(y, previous) << x;
        previous = y;
    }
}

TEST(WaveshaperTableCurve, smallSignalsSeeOnlyTheShuntResistor)
{
    // Below conduction all input current flows through 470 kΩ: W ≈ x·470000/3300.
    for (double x : {1e-4, 3e-4, 1e-3})
        EXPECT_NEAR(table().lookup(x) / x, 470000.0 / 3300.0, 0.005 * 142.4) << x;
}

TEST(WaveshaperTableCurve, fifteenVoltsAndAboveGiveTheLastPointBelowTheSearchLimit)
{
    const double last = table().point(WaveshaperTable::pointCount - 1);
    for (double x : {15.0, 15.000001, 100.0, 1e30, std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::infinity()})
        EXPECT_EQ(table().lookup(x), last) << x;
    EXPECT_LT(last, 2.45);
    EXPECT_NEAR(last, firstNodeVoltage(15.0), 1e-5);
}

TEST(WaveshaperTableLookup, breakpointsAndGridInputsReturnTheirPointsExactly)
{
    for (int i = 0; i <= 3; ++i)
        EXPECT_EQ(table().lookup(WaveshaperTable::breakpoints[i]), table().point(256 * i)) << i;
    for (int k : {1, 77, 255, 257, 300, 511, 513, 700, 769, 1000, 1023})
        EXPECT_EQ(table().lookup(gridInput(k)), table().point(k)) << k;
}

TEST(WaveshaperTableLookup, interpolatesLinearlyBetweenPoints)
{
    for (int k : {0, 10, 255, 256, 600, 1023}) {
        const double a = gridInput(k), b = gridInput(k + 1);
        const double x = a + 0.25 * (b - a);
        EXPECT_NEAR(table().lookup(x), 0.75 * table().point(k) + 0.25 * table().point(k + 1), 1e-12) << k;
    }
}

TEST(WaveshaperTableLookup, nanGivesZeroAndNegativeInputsMirrorTheCurve)
{
    EXPECT_EQ(table().lookup(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(table().lookup(-std::numeric_limits<double>::quiet_NaN()), 0.0);
    for (double x : {0.01, 0.5, 3.0, 20.0}) EXPECT_EQ(table().lookup(-x), -table().lookup(x)) << x;
    EXPECT_EQ(table().lookup(-std::numeric_limits<double>::infinity()), -table().point(1024));
}

TEST(WaveshaperTableLookup, theResidualVanishesAtTheTabulatedSolution)
{
    // The bisection's last midpoint sits within 1e-5 V of the root, where the
    // residual's slope is below 1/470000 + the junctions' conductance.
    const double x = gridInput(600);
    EXPECT_LT(std::fabs(WaveshaperTable::residual(x, table().point(600))), 1e-5);
    EXPECT_GT(WaveshaperTable::residual(x, table().point(600) - 0.1), 0.0);
    EXPECT_LT(WaveshaperTable::residual(x, table().point(600) + 0.1), 0.0);
}
