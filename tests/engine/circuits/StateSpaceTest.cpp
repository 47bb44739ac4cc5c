#include "engine/circuits/StateSpace.h"

#include <gtest/gtest.h>

#include "tests/engine/circuits/LinearReference.h"

namespace valvora {
namespace {

using testing::Complex;
using testing::stateSpaceResponse;

// Stable test circuits with poles well apart: a resonant pair and a real
// third-order chain, both with a non-zero DC gain.
ContinuousModel<2> resonantPair()
{
    ContinuousModel<2> m;
    m.a << -300.0, 2000.0, -2500.0, -700.0;
    m.b << 1500.0, -400.0;
    m.c << 0.7, -1.3;
    m.d = 0.25;
    return m;
}

ContinuousModel<3> thirdOrderChain()
{
    ContinuousModel<3> m;
    m.a << -2000.0, 500.0, 0.0, 300.0, -9000.0, 1200.0, -100.0, 800.0, -30000.0;
    m.b << 2000.0, 0.0, -5000.0;
    m.c << 1.0, 2.0, -0.5;
    m.d = 0.0;
    return m;
}

ContinuousModel<7> sevenStateModel()
{
    ContinuousModel<7> m;
    for (int i = 0; i < 7; ++i) {
        m.a(i, i) = -200.0 * (i + 1) * (i + 1);
        if (i + 1 < 7) m.a(i, i + 1) = 150.0 * (i + 1);
        if (i > 0) m.a(i, i - 1) = -90.0 * i;
        m.b(i) = (i % 2 == 0 ? 1000.0 : -300.0) * (i + 1);
        m.c(i) = 0.1 * (7 - i);
    }
    m.d = -0.3;
    return m;
}

template <int N>
double continuousDcGain(const ContinuousModel<N>& m)
{
    return stateSpaceResponse(m.a, m.b, m.c, m.d, 0.0).real();
}

template <int N>
Complex discreteResponse(const DiscreteModel<N>& m, Complex z)
{
    return stateSpaceResponse(m.ad, m.bd, m.cd, m.dd, z);
}

const double rates[] = {8000.0, 22050.0, 44100.0, 96000.0, 352800.0, 768000.0};

TEST(ClosedFormInverse, InvertsSmallMatrices)
{
    const SquareMatrix<2> a2 = resonantPair().a;
    const SquareMatrix<3> a3 = thirdOrderChain().a;
    EXPECT_TRUE((closedFormInverse(a2) * a2).isIdentity(1e-14));
    EXPECT_TRUE((closedFormInverse(a3) * a3).isIdentity(1e-14));
}

TEST(ZeroOrderHold, MatchesTheSeriesExpansionOfTheExactHold)
{
    const ContinuousModel<3> m = thirdOrderChain();
    for (double rate : rates) {
        DiscreteModel<3> dm;
        zeroOrderHold(m, 1.0 / rate, dm);
        const Eigen::MatrixXd expectedAd = testing::taylorExp(m.a * (1.0 / rate));
        const Eigen::VectorXd expectedBd = testing::taylorHoldIntegral(m.a, m.b, 1.0 / rate);
        EXPECT_LT((dm.ad - expectedAd).norm(), 1e-13 * expectedAd.norm()) << rate;
        EXPECT_LT((dm.bd - expectedBd).norm(), 1e-11 * expectedBd.norm()) << rate;
        EXPECT_EQ(dm.cd, m.c);
        EXPECT_EQ(dm.dd, m.d);
    }
}

TEST(ZeroOrderHold, KeepsTheContinuousDcGainAtEveryRate)
{
    const ContinuousModel<2> pair = resonantPair();
    const ContinuousModel<3> chain = thirdOrderChain();
    for (double rate : rates) {
        DiscreteModel<2> d2;
        DiscreteModel<3> d3;
        zeroOrderHold(pair, 1.0 / rate, d2);
        zeroOrderHold(chain, 1.0 / rate, d3);
        EXPECT_NEAR(discreteResponse(d2, 1.0).real(), continuousDcGain(pair), 1e-10) << rate;
        EXPECT_NEAR(discreteResponse(d3, 1.0).real(), continuousDcGain(chain), 1e-10) << rate;
    }
}

TEST(Bilinear, MapsDcToDcAndNyquistToTheFeedThrough)
{
    const ContinuousModel<2> pair = resonantPair();
    const ContinuousModel<7> seven = sevenStateModel();
    for (double rate : rates) {
        DiscreteModel<2> d2;
        DiscreteModel<7> d7;
        SquareMatrix<2> r2;
        SquareMatrix<7> r7;
        bilinear(pair, 1.0 / rate, r2, d2);
        bilinear(seven, 1.0 / rate, r7, d7);
        EXPECT_NEAR(discreteResponse(d2, 1.0).real(), continuousDcGain(pair), 1e-11) << rate;
        EXPECT_NEAR(discreteResponse(d7, 1.0).real(), continuousDcGain(seven), 1e-11) << rate;
        EXPECT_NEAR(std::abs(discreteResponse(d2, -1.0) - pair.d), 0.0, 1e-11) << rate;
        EXPECT_NEAR(std::abs(discreteResponse(d7, -1.0) - seven.d), 0.0, 1e-11) << rate;
    }
}

TEST(Bilinear, EqualsTheContinuousResponseAtTheWarpedFrequency)
{
    const ContinuousModel<7> seven = sevenStateModel();
    const double rate = 44100.0, t = 1.0 / rate;
    DiscreteModel<7> dm;
    SquareMatrix<7> resolvent;
    bilinear(seven, t, resolvent, dm);
    const Eigen::Matrix<double, 7, 7> kMinusA = (2.0 / t) * Eigen::Matrix<double, 7, 7>::Identity() - seven.a;
    EXPECT_TRUE((resolvent * kMinusA).isIdentity(1e-12));
    for (double hz : {20.0, 440.0, 3000.0, 15000.0}) {
        const double warped = (2.0 / t) * std::tan(std::numbers::pi * hz * t) / (2.0 * std::numbers::pi);
        const Complex want = stateSpaceResponse(seven.a, seven.b, seven.c, seven.d, testing::jOmega(warped));
        EXPECT_LT(testing::relativeError(discreteResponse(dm, testing::unitCircle(hz, rate)), want), 1e-10)
            << hz;
    }
}

TEST(Bilinear, FirstOrderModelGivesTheTextbookCoefficients)
{
    ContinuousModel<2> m;  // two decoupled copies of dx/dt = α·x + u, read from state 0
    const double alpha = -1234.5, t = 1.0 / 48000.0, k = 2.0 / t;
    m.a << alpha, 0.0, 0.0, alpha;
    m.b << 1.0, 1.0;
    m.c << 1.0, 0.0;
    DiscreteModel<2> dm;
    SquareMatrix<2> r;
    bilinear(m, t, r, dm);
    EXPECT_DOUBLE_EQ(dm.ad(0, 0), (k + alpha) / (k - alpha));
    EXPECT_DOUBLE_EQ(dm.bd(0), 2.0 / (k - alpha));
    EXPECT_DOUBLE_EQ(dm.cd(0), k / (k - alpha));
    EXPECT_DOUBLE_EQ(dm.dd, 1.0 / (k - alpha));
}

TEST(Discretisation, DegeneratePeriodsKeepThePreviousCoefficients)
{
    DiscreteModel<3> held;
    ASSERT_TRUE(zeroOrderHold(thirdOrderChain(), 1.0 / 44100.0, held));
    const DiscreteModel<3> before = held;
    EXPECT_FALSE(zeroOrderHold(thirdOrderChain(), HUGE_VAL, held));
    EXPECT_EQ(held.ad, before.ad);
    EXPECT_EQ(held.bd, before.bd);

    DiscreteModel<7> warped;
    SquareMatrix<7> resolvent;
    ASSERT_TRUE(bilinear(sevenStateModel(), 1.0 / 44100.0, resolvent, warped));
    const DiscreteModel<7> kept = warped;
    const SquareMatrix<7> keptResolvent = resolvent;
    for (double period : {0.0, std::nan("")}) {
        EXPECT_FALSE(bilinear(sevenStateModel(), period, resolvent, warped));
        EXPECT_EQ(warped.ad, kept.ad);
        EXPECT_EQ(warped.cd, kept.cd);
        EXPECT_EQ(resolvent, keptResolvent);
    }
}

TEST(Recurrence, OutputUsesTheStateBeforeTheUpdate)
{
    DiscreteModel<2> dm;
    dm.ad << 0.5, 0.25, -0.125, 0.75;
    dm.bd << 1.0, 2.0;
    dm.cd << 3.0, -1.0;
    dm.dd = 0.5;
    EXPECT_EQ(dm.step(2.0, 0), 1.0);  // zero state: only the feed-through
    // State is now (2, 4): y = 0.5·1 + 3·2 − 4; next state uses the old (2, 4).
    EXPECT_EQ(dm.step(1.0, 0), 2.5);
    EXPECT_EQ(dm.state[0](0), 0.5 * 2.0 + 0.25 * 4.0 + 1.0);
    EXPECT_EQ(dm.state[0](1), -0.125 * 2.0 + 0.75 * 4.0 + 2.0);
}

TEST(Recurrence, ChannelsKeepIndependentStates)
{
    DiscreteModel<3> dm;
    zeroOrderHold(thirdOrderChain(), 1.0 / 44100.0, dm);
    dm.step(1.0, 0);
    for (int n = 0; n < 100; ++n) dm.step(n % 7 == 0 ? 0.9 : -0.2, 0);
    EXPECT_TRUE(dm.state[1].isZero(0.0));
    EXPECT_EQ(dm.step(0.0, 1), 0.0);
}

TEST(Recurrence, BothChannelsInOnePassEqualEachChannelAloneBitForBit)
{
    // The paired step serves the preamp's stereo path; any difference in
    // order of operations would make stereo and mono hosts sound different.
    DiscreteModel<2> paired2, single2;
    SquareMatrix<2> resolvent2;
    bilinear(resonantPair(), 1.0 / 352800.0, resolvent2, paired2);
    DiscreteModel<7> paired7, single7;
    SquareMatrix<7> resolvent;
    bilinear(sevenStateModel(), 1.0 / 96000.0, resolvent, paired7);
    single2 = paired2;
    single7 = paired7;
    for (int n = 0; n < 3000; ++n) {
        const double l = n % 11 == 0 ? 1e31 : std::sin(0.3 * n), r = n % 13 == 0 ? -1.0 : std::cos(0.05 * n);
        const __m128d y7 = paired7.stepPair(_mm_set_pd(r, l));
        const double l7 = single7.step(l, 0), r7 = single7.step(r, 1);
        ASSERT_EQ(_mm_cvtsd_f64(y7), l7) << n;
        ASSERT_EQ(_mm_cvtsd_f64(_mm_unpackhi_pd(y7, y7)), r7) << n;
        paired2.advancePair(_mm_set_pd(r, l));
        single2.advance(l, 0);
        single2.advance(r, 1);
    }
    EXPECT_EQ(paired7.state[0], single7.state[0]);
    EXPECT_EQ(paired7.state[1], single7.state[1]);
    EXPECT_EQ(paired2.state[0], single2.state[0]);
    EXPECT_EQ(paired2.state[1], single2.state[1]);
}

}  // namespace
}  // namespace valvora
