#include "engine/tone/TriodeModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/engine/tone/TriodeReference.h"

using valvora::TriodeModel;
using valvora::TriodeState;

namespace {

constexpr double rate = 44100.0;
constexpr double cutOffPlate = 350.0 * 4000000.0 / 4100000.0;

// The model as the engine configures it: tube type 2, Ck = 12 µF, 350 V.
void configure(TriodeModel& m, double period = 1.0 / rate)
{
    m.setTubeType(2);
    m.setCathodeCapacitance(1.2e-5);
    m.setSupply(350.0);
    m.setPeriod(period);
    m.resetCathodes();
}

bool sameState(const TriodeState& a, const TriodeState& b)
{
    return a.plate == b.plate && a.grid == b.grid && a.cathode == b.cathode;
}

void expectRelative(double expected, double actual, double tolerance, const char* what, int index = -1)
{
    const double scale = std::max(std::fabs(expected), 1e-3);
    EXPECT_LE(std::fabs(actual - expected), tolerance * scale) << what << " at " << index;
}

}  // namespace

// --- The rebuild against an independent transcription -----------------------

TEST(TriodeModelRebuild, tablesAndScalarsAgreeWithAPlainTranscriptionAtHostAndOversampledRates)
{
    for (double period : {1.0 / 44100.0, 1.0 / (8 * 48000.0)}) {
        SCOPED_TRACE(period);
        triode_reference::Circuit circuit;
        circuit.period = period;
        const triode_reference::Result expected = triode_reference::Rebuild(circuit).run();
        TriodeModel m(4);
        configure(m, period);
        expectRelative(expected.inputShift, m.inputShiftValue(), 1e-6, "inputShift");
        expectRelative(expected.cathodeDecay, m.cathodeDecayValue(), 1e-6, "cathodeDecay");
        expectRelative(expected.cathodeInputShift, m.cathodeInputShiftValue(), 1e-6, "cathodeInputShift");
        for (int i = 0; i < TriodeModel::tableSize; ++i) {
            expectRelative(expected.low[i], m.plateTableLowAt(i), 1e-6, "plateTableLow", i);
            expectRelative(expected.high[i], m.plateTableHighAt(i), 1e-6, "plateTableHigh", i);
            expectRelative(expected.cathode[i], m.cathodeTableAt(i), 1e-6, "cathodeTable", i);
        }
    }
}

TEST(TriodeModelRebuild, tablesStartAtTheCutOffPlateVoltageAndARestingCathode)
{
    TriodeModel m(4);
    configure(m);
    EXPECT_NEAR(m.plateTableLowAt(0), cutOffPlate, 1e-9 * cutOffPlate);
    EXPECT_NEAR(m.plateTableHighAt(0), cutOffPlate, 1e-9 * cutOffPlate);
    EXPECT_EQ(m.cathodeTableAt(0), 0.0);
    // Driving the grid harder pulls the plate down: the plate tables fall.
    EXPECT_LT(m.plateTableLowAt(1024), m.plateTableLowAt(512));
    EXPECT_LT(m.plateTableHighAt(512), m.plateTableHighAt(0));
}

TEST(TriodeModelRebuild, cathodeShiftsHaveTheSignsAndSizeTheUndampedNewtonGives)
{
    TriodeModel m(4);
    configure(m);
    EXPECT_TRUE(m.thresholdsFound());
    EXPECT_GT(m.inputShiftValue(), 0.0);
    // The grid-at-+300 V solves end in a two-value cycle; the iterate after
    // exactly 256 steps gives about -1.07. A damped solver would give -1.87.
    EXPECT_NEAR(m.cathodeInputShiftValue(), -1.07, 0.02);
    EXPECT_LT(m.cathodeDecayValue(), 0.0);
    EXPECT_GT(m.cathodeDecayValue(), -1.0);
}

TEST(TriodeModelRebuild, leavesStateZeroExactlyAsItWasAndResetCathodesOverwritesEveryCathode)
{
    TriodeModel m(4);
    configure(m);
    for (int n = 0; n < 300; ++n)
        for (int s = 0; s < 4; ++s) m.process(40.0 * std::sin(0.05 * n + s), s, 1);
    TriodeState before[4];
    for (int s = 0; s < 4; ++s) before[s] = m.state(s);

    m.setPeriod(1.0 / 96000.0);
    for (int s = 0; s < 4; ++s) EXPECT_TRUE(sameState(before[s], m.state(s))) << "stage " << s;

    m.resetCathodes();
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(m.state(s).cathode, 5.83322275);
        EXPECT_EQ(m.state(s).plate, before[s].plate);
        EXPECT_EQ(m.state(s).grid, before[s].grid);
    }
}

TEST(TriodeModelRebuild, supplyWithoutAThresholdCrossingFallsBackToNoInputShiftAndStaysFinite)
{
    // At 0 V the plate never falls below 95 % of the supply; at -350 V it is
    // below it from the first sweep point. Neither sweep brackets a crossing.
    for (double supply : {0.0, -350.0}) {
        SCOPED_TRACE(supply);
        TriodeModel m(2);
        configure(m);
        m.setSupply(supply);
        m.setPeriod(1.0 / rate);
        m.resetCathodes();
        EXPECT_FALSE(m.thresholdsFound());
        EXPECT_EQ(m.inputShiftValue(), 0.0);
        for (int i = 0; i < TriodeModel::tableSize; ++i) {
            ASSERT_TRUE(std::isfinite(m.plateTableLowAt(i)));
            ASSERT_TRUE(std::isfinite(m.plateTableHighAt(i)));
            ASSERT_TRUE(std::isfinite(m.cathodeTableAt(i)));
        }
        EXPECT_TRUE(std::isfinite(m.cathodeInputShiftValue()));
        EXPECT_TRUE(std::isfinite(m.restPlateValue()));
        for (int n = 0; n < 20000; ++n) {
            const double y = m.process(250.0 * std::sin(0.01 * n), 0, 1);
            ASSERT_TRUE(std::isfinite(y)) << n;
            ASSERT_TRUE(std::isfinite(m.state(0).cathode)) << n;
        }
        // Back to the normal supply, the model is the normal model again.
        m.setSupply(350.0);
        m.setPeriod(1.0 / rate);
        EXPECT_TRUE(m.thresholdsFound());
        EXPECT_NEAR(m.cathodeInputShiftValue(), -1.07, 0.02);
    }
}

// --- Settings ----------------------------------------------------------------

TEST(TriodeModelSettings, tubeTypeChangesOnlyToAValidNewIndexAndActsAtTheNextRebuild)
{
    TriodeModel m(4);
    configure(m);
    const double entry = m.plateTableLowAt(700);
    const double rest = m.restPlateValue();
    const double cathode = m.state(1).cathode;

    m.setTubeType(3);
    m.setTubeType(0xffffffffu);
    EXPECT_EQ(m.tubeTypeValue(), 2u);

    m.setTubeType(0);
    EXPECT_EQ(m.tubeTypeValue(), 0u);
    EXPECT_EQ(m.plateTableLowAt(700), entry);
    EXPECT_EQ(m.restPlateValue(), rest);
    EXPECT_EQ(m.state(1).cathode, cathode);

    m.setPeriod(1.0 / rate);
    EXPECT_NE(m.plateTableLowAt(700), entry);
    EXPECT_NE(m.restPlateValue(), rest);
    EXPECT_EQ(m.state(1).cathode, cathode);
    m.resetCathodes();
    EXPECT_EQ(m.state(1).cathode, 2.20234211);
}

TEST(TriodeModelSettings, supplyRangeSwitchesAt200And300Volts)
{
    TriodeModel m(1);
    m.setTubeType(1);
    const struct {
        double supply;
        int range;
        double rest;
    } cases[] = {{-50.0, 0, 1.58417516}, {0.0, 0, 1.58417516},    {199.99, 0, 1.58417516},
                 {200.0, 1, 2.66457249}, {299.99, 1, 2.66457249}, {300.0, 2, 3.75964222},
                 {350.0, 2, 3.75964222}, {1e6, 2, 3.75964222}};
    for (const auto& c : cases) {
        m.setSupply(c.supply);
        EXPECT_EQ(m.supplyRange(), c.range) << c.supply;
        EXPECT_EQ(m.restCathodeVoltage(), c.rest) << c.supply;
    }
}

TEST(TriodeModelSettings, meaninglessCircuitValuesAreIgnored)
{
    TriodeModel m(1);
    configure(m);
    const double shift = m.inputShiftValue();
    m.setSupply(std::numeric_limits<double>::quiet_NaN());
    m.setSupply(std::numeric_limits<double>::infinity());
    m.setCathodeCapacitance(0.0);
    m.setCathodeCapacitance(-1e-6);
    m.setCathodeCapacitance(std::numeric_limits<double>::quiet_NaN());
    m.setPeriod(0.0);
    m.setPeriod(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(m.supplyValue(), 350.0);
    EXPECT_EQ(m.periodValue(), 1.0 / rate);
    EXPECT_EQ(m.inputShiftValue(), shift);
}

// --- Per sample --------------------------------------------------------------

TEST(TriodeModelProcess, silenceAtTheRestVoltageGivesNearlyZeroAndSettlesNear5Point84Volts)
{
    TriodeModel m(4);
    configure(m);
    EXPECT_NEAR(m.process(0.0, 0, 1), 0.0, 1e-6);
    double y = 0.0;
    for (int n = 0; n < 5 * 44100; ++n) y = m.process(0.0, 0, 1);
    EXPECT_NEAR(m.state(0).cathode, 5.84, 0.01);
    EXPECT_LT(std::fabs(y), 1.0);
    EXPECT_GT(std::fabs(y), 0.0);
}

// The per-sample path written out from the public table entries: clamped
// position, Catmull-Rom on the four neighbours, blend by the cathode voltage.
TEST(TriodeModelProcess, followsTheCatmullRomReadingOfTheTables)
{
    TriodeModel m(1);
    configure(m);
    auto entry = [&](double (TriodeModel::*at)(int) const noexcept, int i) {
        return (m.*at)(std::min(std::max(i, 0), 1024));
    };
    auto read = [&](double (TriodeModel::*at)(int) const noexcept, double u) {
        u = std::min(std::max(u, 0.0), 1.0);
        const int j = static_cast<int>(u * 1024);
        const double f = u * 1024 - j;
        if (f <= 0) return entry(at, j);
        const double p0 = entry(at, j - 1), p1 = entry(at, j), p2 = entry(at, j + 1), p3 = entry(at, j + 2);
        return p1 + ((((p3 - p0) * 0.5 + (p1 - p2) * 1.5) * f + (p0 - 2.5 * p1 + 2 * p2 - 0.5 * p3)) * f +
                     (p2 - p0) * 0.5) *
                        f;
    };
    for (int n = 0; n < 3000; ++n) {
        const double x = 320.0 * std::sin(0.011 * n) * std::sin(0.0007 * n);
        const double vk0 = m.state(0).cathode;
        const double u = (x - vk0 * m.inputShiftValue() + 300) / 600;
        const double w = (15 - vk0) / 30;
        const double vp =
            read(&TriodeModel::plateTableHighAt, u) * (1 - w) + read(&TriodeModel::plateTableLowAt, u) * w;
        const double vk =
            read(&TriodeModel::cathodeTableAt, (x + vk0 * m.cathodeInputShiftValue() + 300) / 600) +
            vk0 * m.cathodeDecayValue() + vk0;
        // The dither (below 4.3e-10 V) and rounding are all that differ.
        ASSERT_NEAR(m.process(x, 0, 0), vp, 1e-6) << n;
        ASSERT_NEAR(m.state(0).cathode, vk, 1e-8) << n;
    }
}

TEST(TriodeModelProcess, removeRestSubtractsTheRestPlateVoltage)
{
    TriodeModel a(1), b(1);
    configure(a);
    configure(b);
    for (int n = 0; n < 100; ++n) {
        const double x = 30.0 * std::sin(0.1 * n);
        EXPECT_NEAR(a.process(x, 0, 0) - b.process(x, 0, 1), a.restPlateValue(), 1e-9) << n;
    }
}

TEST(TriodeModelProcess, inputsBeyondTheTableRangeReadTheEndEntries)
{
    TriodeModel m(1);
    configure(m);
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {1e6, 1e30, inf, -1e6, -1e30, -inf}) {
        const int end = x > 0 ? 1024 : 0;
        const double vk = m.state(0).cathode;
        const double w = (15.0 - vk) / 30.0;
        const double expected = m.plateTableHighAt(end) * (1.0 - w) + m.plateTableLowAt(end) * w;
        EXPECT_EQ(m.process(x, 0, 0), expected) << x;
    }
}

TEST(TriodeModelProcess, stagesKeepSeparateStates)
{
    TriodeModel shared(4), alone(4);
    configure(shared);
    configure(alone);
    for (int n = 0; n < 2000; ++n) {
        const double x = 80.0 * std::sin(0.02 * n);
        const double y = shared.process(x, 0, 1);
        shared.process(-3.0 * x, 1, 1);
        shared.process(200.0, 3, 1);
        // The only coupling is the dither, below 4.3e-10 V.
        EXPECT_NEAR(y, alone.process(x, 0, 1), 1e-6) << n;
    }
}

TEST(TriodeModelProcess, hostileInputNeverLeavesNaNOrInfinityAndTheStageRecovers)
{
    TriodeModel m(2), fresh(2);
    configure(m);
    configure(fresh);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double hostile[] = {nan, inf, -inf, 1e30, -1e30, std::numeric_limits<double>::max(), nan};
    for (int n = 0; n < 4000; ++n) {
        // Full-scale square, then the hostile values in bursts.
        const double x = n < 2000 ? ((n / 50) % 2 ? 300.0 : -300.0) : hostile[(n / 7) % 7];
        const double y = m.process(x, 0, 1);
        ASSERT_TRUE(std::isfinite(y)) << n;
        ASSERT_TRUE(std::isfinite(m.state(0).plate) && std::isfinite(m.state(0).cathode)) << n;
    }
    double y = 0.0, expected = 0.0;
    for (int n = 0; n < 200000; ++n) {
        const double x = 2.0 * std::sin(0.03 * n);
        y = m.process(x, 0, 1);
        expected = fresh.process(x, 0, 1);
    }
    EXPECT_NEAR(y, expected, 1e-6);
    EXPECT_NEAR(m.state(0).cathode, fresh.state(0).cathode, 1e-6);
}
