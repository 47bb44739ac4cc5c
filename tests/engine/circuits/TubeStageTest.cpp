#include "engine/circuits/TubeStage.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <limits>
#include <cmath>

#include "platform/Diagnostics.h"
#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using Config = TubeStage::Configuration;
using testing::Complex;

std::array<std::uint32_t, 5> counts()
{
    std::array<std::uint32_t, 5> c{};
    for (int i = 0; i < 5; ++i) c[i] = TubeStage::k_count[i].load();
    return c;
}

TubeStage stage(Config config, double rate, double networkValue)
{
    TubeStage s(config);
    s.update(1.0 / rate, networkValue);
    return s;
}

// Small-signal closed loop of the continuous circuit, R / (1 + R·H), at the
// frequency the bilinear rule maps to `hz`.
Complex closedLoop(const TubeStage& s, double hz, double rate)
{
    const TubeStage::Model& m = s.continuous();
    const double warped = rate * std::tan(std::numbers::pi * hz / rate) / std::numbers::pi;
    const Complex h = testing::stateSpaceResponse(m.a, m.b, m.c, m.d, testing::jOmega(warped));
    return s.smallSignalGain() / (1.0 + s.smallSignalGain() * h);
}

// A small sine's response, with the stage's own settling (bias, slow network
// pole) removed by running an identical silent twin alongside.
Complex smallSignalResponse(TubeStage s, double hz, int rate)
{
    TubeStage twin = s;
    return testing::measureSineResponse(
        [&](double u) {
            double quiet = 0.0;
            twin.process(quiet, 0);
            s.process(u, 0);
            return u - quiet;
        },
        hz, rate, rate / 2, 1e-4);
}

TEST(TubeStageCurve, IsContinuousWithUnitSlopeAtTheKneesAndTendsToPlusMinusOne)
{
    for (Config config : {Config::Normal, Config::Drive})
        for (bool voiced : {false, true}) {
            TubeStage s(config);
            s.setVoicing(voiced);
            for (double knee : {s.kneeLow(), s.kneeHigh()}) {
                const double h = 1e-7;
                EXPECT_NEAR(s.shape(knee + h), knee + h, 1e-12);
                EXPECT_NEAR(s.shape(knee - h), knee - h, 1e-12);
                EXPECT_NEAR((s.shape(knee + h) - s.shape(knee - h)) / (2 * h), 1.0, 1e-6);
            }
            EXPECT_NEAR(s.shape(1e9), 1.0, 1e-8);
            EXPECT_NEAR(s.shape(-1e9), -1.0, 1e-8);
            // Slope f·k at the linear section is the small-signal gain.
            EXPECT_NEAR(s.outputScale() * s.inputGain(), s.smallSignalGain(), 1e-9 * s.smallSignalGain());
        }
}

TEST(TubeStageCurve, ScalesFollowTheSwingAndGainOfEachConfiguration)
{
    const TubeStage normal(Config::Normal), drive(Config::Drive);
    EXPECT_DOUBLE_EQ(normal.outputScale(), 13.0 - 1.63);
    EXPECT_DOUBLE_EQ(drive.outputScale(), 15.0 - 1.63);
    EXPECT_DOUBLE_EQ(normal.inputGain(), 200000.0 / (13.0 - 1.63));
    EXPECT_DOUBLE_EQ(drive.inputGain(), 230000.0 / (15.0 - 1.63));
    EXPECT_EQ(normal.kneeHigh(), 0.433003);
    EXPECT_EQ(drive.kneeLow(), -0.432831);
    EXPECT_EQ(normal.bias(), 0.003);
    EXPECT_EQ(normal.period(), 1.0 / 44100.0);
}

TEST(TubeStageNetwork, PassesDcWithUnitGainOverTheKnobRange)
{
    for (double v : {0.0001, 0.1, 0.5, 0.99}) {
        const TubeStage s = stage(Config::Normal, 44100.0, v);
        const TubeStage::Model& m = s.continuous();
        EXPECT_NEAR(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0).real(), 1.0, 1e-9) << v;
    }
    for (double g : {0.005, 0.2, 1.0}) {
        const TubeStage s = stage(Config::Drive, 44100.0, g);
        const TubeStage::Model& m = s.continuous();
        EXPECT_NEAR(testing::stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0).real(), 1.0, 1e-9) << g;
    }
    const TubeStage normal(Config::Normal);
    const Eigen::Vector2cd poles = normal.continuous().a.eigenvalues();
    EXPECT_NEAR(std::min(std::abs(poles(0)), std::abs(poles(1))), 1.67, 0.01);
}

struct GainCase {
    Config config;
    double networkValue;
    double expectedAt1k;
};

TEST(TubeStageSmallSignal, GainAt1kHzMatchesTheClosedLoop)
{
    const int rate = 44100;
    for (const GainCase& c : {GainCase{Config::Normal, 0.1, 5.8}, GainCase{Config::Normal, 0.99, 28.5},
                              GainCase{Config::Drive, 0.2, 7.0}, GainCase{Config::Drive, 1.0, 29.9}}) {
        const TubeStage s = stage(c.config, rate, c.networkValue);
        const Complex got = smallSignalResponse(s, 1000.0, rate);
        EXPECT_NEAR(std::abs(got), c.expectedAt1k, 0.05) << c.networkValue;
        EXPECT_LT(testing::relativeError(got, closedLoop(s, 1000.0, rate)), 1e-6) << c.networkValue;
    }
}

TEST(TubeStageSmallSignal, NormalStageRunsFromUnityAtDcToAboutThirtyUp)
{
    const int rate = 44100;
    const TubeStage s = stage(Config::Normal, rate, 0.1);
    const double r = s.smallSignalGain(), d = s.continuous().d;
    EXPECT_NEAR(std::abs(closedLoop(s, 0.0, rate)), r / (1.0 + r), 1e-9);
    EXPECT_NEAR(r / (1.0 + r * d), 30.3, 0.1);
    EXPECT_LT(testing::relativeError(smallSignalResponse(s, 15000.0, rate), closedLoop(s, 15000.0, rate)),
              1e-6);
}

TEST(TubeStageSettling, SilenceSettlesSlowlyTowardsTheBiasPoint)
{
    const int rate = 44100;
    TubeStage s = stage(Config::Normal, rate, 0.1);
    const double r = s.smallSignalGain(), target = r * s.bias() / (1.0 + r);
    double y = 0.0;
    for (int n = 0; n < rate / 10; ++n) {
        y = 0.0;
        s.process(y, 0);
    }
    EXPECT_GT(std::abs(y - target), 1e-3 * target);  // still on its way after 0.1 s
    for (int n = 0; n < 20 * rate; ++n) {
        y = 0.0;
        s.process(y, 0);
    }
    EXPECT_NEAR(y, target, 1e-9);
}

TEST(TubeStageSaturation, FiveVoltSineUsesOnlyTheExpectedBranchesAndPeaksJustBelowF)
{
    const int rate = 44100;
    TubeStage s = stage(Config::Normal, rate, 0.1);
    const auto before = counts();
    double peak = 0.0, trough = 0.0;
    for (int n = 0; n < rate; ++n) {
        double y = 5.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / rate);
        s.process(y, 0);
        peak = std::max(peak, y);
        trough = std::min(trough, y);
    }
    const auto after = counts();
    EXPECT_GT(after[4] - before[4], 0u);
    EXPECT_GT(after[0] - before[0], 0u);
    EXPECT_GT(after[2] - before[2], 0u);
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[3], before[3]);
    EXPECT_EQ((after[0] - before[0]) + (after[2] - before[2]) + (after[4] - before[4]), std::uint32_t(rate));
    const double f = s.outputScale();
    EXPECT_LT(peak, f);
    EXPECT_GT(peak, 0.9 * f);
    EXPECT_GT(trough, -f);
    EXPECT_LT(trough, -0.9 * f);
}

TEST(TubeStageSaturation, NoInputDrivesTheOutputBeyondPlusMinusF)
{
    for (Config config : {Config::Normal, Config::Drive})
        for (bool voiced : {false, true}) {
            TubeStage s = stage(config, 352800.0, config == Config::Normal ? 0.99 : 1.0);
            s.setVoicing(voiced);
            const double f = s.outputScale();
            for (double amplitude : {1.0, 100.0, 1e6, 1e30, 1e300}) {
                for (int n = 0; n < 2000; ++n) {
                    double y = (n / 50) % 2 ? amplitude : -amplitude;
                    s.process(y, 0);
                    ASSERT_LE(std::abs(y), f) << amplitude;
                }
            }
        }
}

// With no unexpected branch in reach of a monotone curve, nothing is traced.
TEST(TubeStageDiagnostics, OrdinaryAndHostileSignalsRaiseNoDiagnostic)
{
    static int traced = 0;
    platform::setTraceHook([](const char*, const char*) noexcept { ++traced; });
    const auto before = counts();
    for (Config config : {Config::Normal, Config::Drive})
        for (bool voiced : {false, true}) {
            TubeStage s = stage(config, 48000.0, 0.5);
            s.setVoicing(voiced);
            for (int n = 0; n < 48000; ++n) {
                double y = std::pow(10.0, n % 97 - 30) * std::sin(0.37 * n);
                s.process(y, n & 1);
            }
        }
    platform::setTraceHook(nullptr);
    EXPECT_EQ(traced, 0);
    EXPECT_EQ(counts()[1], before[1]);
    EXPECT_EQ(counts()[3], before[3]);
}

// Even-order content of the curve for a symmetric input: the mismatch between
// its response to +x and to −x, relative to the response itself.
double curveAsymmetry(const TubeStage& s, double x)
{
    return std::abs(s.shape(x) + s.shape(-x)) / std::abs(s.shape(x));
}

double secondHarmonicRatio(TubeStage s, double amplitude)
{
    const int rate = 44100;
    const double hz = 1000.0;
    Complex first = 0.0, second = 0.0;
    for (int n = 0; n < 4 * rate; ++n) {
        double y = amplitude * std::sin(2.0 * std::numbers::pi * hz * n / rate);
        s.process(y, 0);
        if (n < 3 * rate) continue;
        first += y * std::polar(1.0, -2.0 * std::numbers::pi * hz * n / rate);
        second += y * std::polar(1.0, -4.0 * std::numbers::pi * hz * n / rate);
    }
    return std::abs(second) / std::abs(first);
}

TEST(TubeStageVoicing, OnMakesTheCurveAsymmetricAndAddsEvenHarmonics)
{
    for (Config config : {Config::Normal, Config::Drive}) {
        TubeStage s = stage(config, 44100.0, 0.5);
        const double w = s.kneeHigh();
        for (double x : {0.2, 0.6, 2.0, 10.0}) EXPECT_EQ(curveAsymmetry(s, x), 0.0) << x;
        const double off = secondHarmonicRatio(s, 0.5);
        s.setVoicing(true);
        EXPECT_GT(s.kneeHigh(), -s.kneeLow());
        EXPECT_NEAR(s.kneeHigh() - s.kneeLow(), 2.0 * w, 1e-15);
        EXPECT_NEAR(s.kneeHigh() + s.kneeLow(), 2.0 * (0.3 - 0.3 * w), 1e-15);
        for (double x : {0.4, 0.6, 2.0, 10.0}) EXPECT_GT(curveAsymmetry(s, x), 0.01) << x;
        // Driven to a similar depth of saturation (the voiced stage has far
        // less small-signal gain), the voiced stage adds much more second
        // harmonic.
        const double on = secondHarmonicRatio(s, 0.5 * s.inputGain() < 100.0 ? 20.0 : 0.5);
        EXPECT_GT(on, 5.0 * off);
    }
    TubeStage normal(Config::Normal), drive(Config::Drive);
    normal.setVoicing(true);
    drive.setVoicing(true);
    EXPECT_DOUBLE_EQ(normal.outputScale(), 14.25 - 1.63);
    EXPECT_EQ(normal.smallSignalGain(), 300.0);
    EXPECT_DOUBLE_EQ(drive.outputScale(), 15.0 - 1.63);
    EXPECT_EQ(drive.smallSignalGain(), 1000.0);
}

double oneUlp(double x)
{
    return std::nextafter(std::abs(x), HUGE_VAL) - std::abs(x);
}

TEST(TubeStageVoicing, RoundTripRestoresTheSymmetricCurve)
{
    TubeStage normal(Config::Normal), drive(Config::Drive);
    const TubeStage normalBefore = normal, driveBefore = drive;
    for (TubeStage* s : {&normal, &drive}) {
        s->setVoicing(true);
        s->setVoicing(false);
    }
    EXPECT_EQ(normal.kneeHigh(), normalBefore.kneeHigh());
    EXPECT_EQ(normal.kneeLow(), normalBefore.kneeLow());
    EXPECT_EQ(normal.outputScale(), normalBefore.outputScale());
    EXPECT_EQ(normal.inputGain(), normalBefore.inputGain());
    EXPECT_NEAR(drive.kneeHigh(), driveBefore.kneeHigh(), oneUlp(driveBefore.kneeHigh()));
    EXPECT_NEAR(drive.kneeLow(), driveBefore.kneeLow(), oneUlp(driveBefore.kneeHigh()));
    EXPECT_EQ(drive.kneeHigh(), -drive.kneeLow());
    EXPECT_EQ(drive.inputGain(), driveBefore.inputGain());
}

TEST(TubeStageVoicing, RepeatingTheCurrentVoicingChangesNothingAndNetworkIsUntouched)
{
    TubeStage s = stage(Config::Normal, 44100.0, 0.3);
    for (int n = 0; n < 100; ++n) {
        double y = std::sin(0.1 * n);
        s.process(y, 0);
    }
    const auto state = s.discrete().state[0];
    const auto ad = s.discrete().ad;
    s.setVoicing(false);
    EXPECT_EQ(s.kneeHigh(), 0.433003);
    s.setVoicing(true);
    const double voicedHigh = s.kneeHigh();
    s.setVoicing(true);
    EXPECT_EQ(s.kneeHigh(), voicedHigh);
    EXPECT_EQ(s.discrete().state[0], state);
    EXPECT_EQ(s.discrete().ad, ad);
}

TEST(TubeStageChannels, KeepSeparateStates)
{
    TubeStage a = stage(Config::Drive, 44100.0, 0.7), b = a;
    for (int n = 0; n < 1000; ++n) {
        double loud = 4.0 * std::sin(0.05 * n), quiet = 0.0, reference = 0.0;
        a.process(loud, 0);
        a.process(quiet, 1);
        b.process(reference, 1);
        ASSERT_EQ(quiet, reference);
    }
}

TEST(TubeStageNetwork, ADegeneratePeriodKeepsTheLastSoundNetwork)
{
    TubeStage s = stage(Config::Drive, 44100.0, 0.4);
    const auto ad = s.discrete().ad;
    s.update(0.0, 0.4);
    EXPECT_EQ(s.discrete().ad, ad);
    double y = 1.0;
    s.process(y, 0);
    EXPECT_TRUE(std::isfinite(y));
}

TEST(TubeStageHostileInput, HugeAndNonFiniteInputsLeaveAFiniteStateThatRecovers)
{
    for (Config config : {Config::Normal, Config::Drive}) {
        TubeStage s = stage(config, 44100.0, 0.5), clean = s;
        const double burst[] = {1e30, -1e30, 1e308, -1e308, std::nan(""), HUGE_VAL, -HUGE_VAL, 0.0};
        for (int n = 0; n < 4000; ++n) {
            double y = burst[n % 8];
            s.process(y, 0);
            ASSERT_TRUE(std::isfinite(y));
        }
        ASSERT_TRUE(s.discrete().state[0].allFinite());
        // Afterwards ordinary audio: the stage converges back onto a twin
        // that never saw the burst (the slow network pole takes seconds).
        double difference = 0.0;
        for (int n = 0; n < 44100 * 6; ++n) {
            double y = 0.2 * std::sin(0.06 * n), z = y;
            s.process(y, 0);
            clean.process(z, 0);
            difference = std::abs(y - z);
        }
        EXPECT_LT(difference, 1e-3);
    }
}

}  // namespace
}  // namespace valvora

namespace valvora {
namespace {

// The stereo path solves both channels side by side; it must give exactly
// what one channel at a time gives, branch counts included, also when one
// channel is linear while the other saturates and for inputs no signal has.
TEST(TubeStagePair, SolvesBothChannelsExactlyAsOneAtATime)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (Config config : {Config::Normal, Config::Drive})
        for (bool voiced : {false, true}) {
            TubeStage single = stage(config, 96000.0, 0.7);
            single.setVoicing(voiced);
            TubeStage paired = single;
            for (int n = 0; n < 20000; ++n) {
                // Amplitudes from a whisper to hard saturation, different per channel.
                double left = 0.02 * std::exp(0.0006 * n) * std::sin(0.013 * n);
                double right = 3.0 * std::sin(0.0021 * n) * std::sin(0.05 * n + 1.0);
                if (n % 997 == 5) left = nan;
                if (n % 1009 == 7) right = (n & 1) ? inf : -1e300;
                if (n % 1013 == 9) left = -inf;

                const auto before = counts();
                double l1 = left, r1 = right;
                single.process(l1, 0);
                single.process(r1, 1);
                const auto afterSingle = counts();
                double l2 = left, r2 = right;
                paired.processPair(l2, r2);
                const auto afterPair = counts();

                ASSERT_EQ(std::bit_cast<std::uint64_t>(l1), std::bit_cast<std::uint64_t>(l2)) << n;
                ASSERT_EQ(std::bit_cast<std::uint64_t>(r1), std::bit_cast<std::uint64_t>(r2)) << n;
                for (int b = 0; b < 5; ++b)
                    ASSERT_EQ(afterSingle[b] - before[b], afterPair[b] - afterSingle[b]) << "branch " << b;
            }
        }
}

}  // namespace
}  // namespace valvora
