#pragma once
// The state-space scheme shared by every linear circuit of the amp: a
// continuous model dx/dt = a·x + b·u, y = c·x + d·u, turned into a per-sample
// recurrence by zero-order hold or by the bilinear transform. Only the
// discretisation source includes Eigen's MatrixFunctions; this header stays
// light so that the stages including it compile fast.

#include <emmintrin.h>

#include <Eigen/Core>
#include <array>

namespace valvora {

template <int N>
using SquareMatrix = Eigen::Matrix<double, N, N>;
template <int N>
using ColumnVector = Eigen::Matrix<double, N, 1>;

// The continuous model; c is kept as a column and used through dot products.
template <int N>
struct ContinuousModel {
    SquareMatrix<N> a = SquareMatrix<N>::Zero();
    ColumnVector<N> b = ColumnVector<N>::Zero();
    ColumnVector<N> c = ColumnVector<N>::Zero();
    double d = 0.0;
};

// The largest input magnitude a linear stage takes in, some 600 dB above full
// scale: no real signal comes near it. It keeps every state finite for any
// input (a state that once overflows stays inf or NaN for good) and bounds how
// long a stage needs to forget an absurd burst. The infinities are held at the
// limit; a NaN, which the engine removes before any stage, counts as silence.
inline constexpr double stageInputLimit = 1e30;

inline double limitInput(double u) noexcept
{
    return u > stageInputLimit ? stageInputLimit
                               : (u < -stageInputLimit ? -stageInputLimit : (u == u ? u : 0.0));
}

// limitInput on both lanes, with the same results.
inline __m128d limitInputPair(__m128d u) noexcept
{
    u = _mm_and_pd(u, _mm_cmpord_pd(u, u));
    return _mm_min_pd(_mm_max_pd(u, _mm_set1_pd(-stageInputLimit)), _mm_set1_pd(stageInputLimit));
}

// The discrete model and one state per audio channel. Audio thread only;
// nothing here allocates.
template <int N>
struct DiscreteModel {
    SquareMatrix<N> ad = SquareMatrix<N>::Zero();
    ColumnVector<N> bd = ColumnVector<N>::Zero();
    ColumnVector<N> cd = ColumnVector<N>::Zero();
    double dd = 0.0;
    std::array<ColumnVector<N>, 2> state{ColumnVector<N>::Zero(), ColumnVector<N>::Zero()};

    // The output uses the state before this sample; the next state is formed
    // apart from the old one so no component reads an already updated value.
    double step(double input, int channel) noexcept
    {
        const double u = limitInput(input);
        const ColumnVector<N>& x = state[channel];
        double sum = cd(0) * x(0);
        for (int j = 1; j < N; ++j) sum += cd(j) * x(j);
        const double y = dd * u + sum;
        advance(u, channel);
        return y;
    }

    // Each component is (ad(i,0)·x0 + ad(i,1)·x1 + ...) + bd(i)·u, summed in
    // that order. ad·x is accumulated column by column (each column a
    // contiguous, vector friendly run), then the input term is added.
    void advance(double u, int channel) noexcept
    {
        ColumnVector<N>& x = state[channel];
        ColumnVector<N> next = ad.col(0) * x(0);
        for (int j = 1; j < N; ++j) next += ad.col(j) * x(j);
        x = next + bd * u;
    }

    // step() for both channels at once, lane 0 channel 0 and lane 1
    // channel 1: every lane does exactly step()'s arithmetic in step()'s
    // order, so the results are the same bit for bit. Reads the coefficient
    // pairs of the last preparePairs().
    __m128d stepPair(__m128d input) noexcept
    {
        const __m128d u = limitInputPair(input);
        __m128d x[N];
        loadPairs(x);
        __m128d sum = _mm_mul_pd(pairs.cd[0], x[0]);
#pragma GCC unroll 8
        for (int j = 1; j < N; ++j) sum = _mm_add_pd(sum, _mm_mul_pd(pairs.cd[j], x[j]));
        const __m128d y = _mm_add_pd(_mm_mul_pd(pairs.dd, u), sum);
        advancePairs(x, u);
        return y;
    }

    // advance() for both channels at once, as stepPair().
    void advancePair(__m128d u) noexcept
    {
        __m128d x[N];
        loadPairs(x);
        advancePairs(x, u);
    }

    // Every coefficient repeated in both lanes, so the paired steps multiply
    // straight from memory. Must follow every change of ad, bd, cd or dd that
    // the paired steps are to see; the discretisation rules call it.
    void preparePairs() noexcept
    {
        for (int i = 0; i < N; ++i) {
            for (int j = 0; j < N; ++j) pairs.ad[i][j] = _mm_set1_pd(ad(i, j));
            pairs.bd[i] = _mm_set1_pd(bd(i));
            pairs.cd[i] = _mm_set1_pd(cd(i));
        }
        pairs.dd = _mm_set1_pd(dd);
    }

    // For callers that hold both channels' states in registers across a run
    // of samples: take them, advance them with advanceHeld() (the same
    // arithmetic as advancePair()), give them back.
    void holdPairs(__m128d (&x)[N]) const noexcept { loadPairs(x); }
    void releasePairs(const __m128d (&x)[N]) noexcept
    {
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) {
            _mm_storel_pd(&state[0](i), x[i]);
            _mm_storeh_pd(&state[1](i), x[i]);
        }
    }
    [[gnu::always_inline]] void advanceHeld(__m128d (&x)[N], __m128d u) const noexcept
    {
        __m128d next[N];
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) next[i] = nextPair(i, x, u);
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) x[i] = next[i];
    }

private:
    __m128d nextPair(int i, const __m128d (&x)[N], __m128d u) const noexcept
    {
        __m128d next = _mm_mul_pd(pairs.ad[i][0], x[0]);
#pragma GCC unroll 8
        for (int j = 1; j < N; ++j) next = _mm_add_pd(next, _mm_mul_pd(pairs.ad[i][j], x[j]));
        return _mm_add_pd(next, _mm_mul_pd(pairs.bd[i], u));
    }

    void loadPairs(__m128d (&x)[N]) const noexcept
    {
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) x[j] = _mm_set_pd(state[1](j), state[0](j));
    }

    void advancePairs(const __m128d (&x)[N], __m128d u) noexcept
    {
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) {
            const __m128d next = nextPair(i, x, u);
            _mm_storel_pd(&state[0](i), next);
            _mm_storeh_pd(&state[1](i), next);
        }
    }

    struct Pairs {
        __m128d ad[N][N];
        __m128d bd[N];
        __m128d cd[N];
        __m128d dd;
    };
    Pairs pairs{};
};

// Closed-form inverses (adjugate over determinant, no pivoting): the small
// circuit matrices are never near singular, and the closed form is cheap.
SquareMatrix<2> closedFormInverse(const SquareMatrix<2>& m) noexcept;
SquareMatrix<3> closedFormInverse(const SquareMatrix<3>& m) noexcept;

// Both rules replace only the coefficients, never the states. Should a period
// or model give non-finite coefficients (a period of 0 or infinity, a
// singular circuit), they keep the previous ones and return false: one
// non-finite coefficient would turn the states into NaN for good.

// Zero-order hold for period T: ad = e^(a·T), bd = (a⁻¹·(ad − I))·b, cd = c,
// dd = d. Keeps the continuous DC gain exactly.
template <int N>
bool zeroOrderHold(const ContinuousModel<N>& model, double period, DiscreteModel<N>& out) noexcept;

// Bilinear transform for period T with k = 2/T. The resolvent (k·I − a)⁻¹ is
// returned for callers that keep it.
template <int N>
bool bilinear(const ContinuousModel<N>& model, double period, SquareMatrix<N>& resolvent,
              DiscreteModel<N>& out) noexcept;

}  // namespace valvora
