#pragma once
// A discrete state-space model stepped L samples at a time. Inside the 8x
// preamp a linear stage at the end of the chain sees all eight inputs of a
// host sample before any of its outputs is needed, so the eight steps can be
// taken as one: the outputs are a matrix times the starting state plus a
// lower-triangular matrix times the inputs, the final state likewise. For a
// seventh-order stage that is less than half the arithmetic of eight single
// steps, and none of it is a chain of dependent steps. The result equals the
// step-by-step one up to rounding.

#include <emmintrin.h>

#include "engine/circuits/StateSpace.h"

namespace valvora {

template <int N, int L>
class BlockRecurrence {
public:
    // Audio thread (the owner's coefficient update): derives the block form
    // from the model's current coefficients. Must follow every change of them.
    void build(const DiscreteModel<N>& m) noexcept
    {
        // Row k of the state-to-output map is cd·ad^k; the impulse response
        // h[0] = dd, h[k] = cd·ad^(k-1)·bd; column k of the input-to-state map
        // is ad^(L-1-k)·bd.
        SquareMatrix<N> power = SquareMatrix<N>::Identity();
        ColumnVector<N> driven = m.bd;
        double impulse[L];
        impulse[0] = m.dd;
        for (int k = 0; k < L; ++k) {
            fromState.row(k) = m.cd.transpose() * power;
            power = m.ad * power;
            if (k + 1 < L) impulse[k + 1] = m.cd.dot(driven);
            stateFromInput.col(L - 1 - k) = driven;
            driven = m.ad * driven;
        }
        stateFromState = power;
        for (int k = 0; k < L; ++k)
            for (int j = 0; j < L; ++j) fromInput(k, j) = j <= k ? impulse[k - j] : 0.0;

        for (int k = 0; k < L; ++k) {
            for (int j = 0; j < N; ++j) pairs.fromState[k][j] = _mm_set1_pd(fromState(k, j));
            for (int j = 0; j < L; ++j) pairs.fromInput[k][j] = _mm_set1_pd(fromInput(k, j));
        }
        for (int i = 0; i < N; ++i) {
            for (int j = 0; j < N; ++j) pairs.stateFromState[i][j] = _mm_set1_pd(stateFromState(i, j));
            for (int j = 0; j < L; ++j) pairs.stateFromInput[i][j] = _mm_set1_pd(stateFromInput(i, j));
        }
    }

    // Audio thread: L consecutive samples of one channel through the model,
    // in place, advancing that channel's state by L steps. The channel runs
    // in both lanes of the paired arithmetic, so one channel alone and both
    // at once give the same results bit for bit.
    [[gnu::always_inline]] void run(DiscreteModel<N>& m, double (&samples)[L], int channel) const noexcept
    {
        ColumnVector<N>& state = m.state[channel];
        __m128d x[N], u[L];
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) x[j] = _mm_set1_pd(state(j));
#pragma GCC unroll 8
        for (int j = 0; j < L; ++j) u[j] = limitInputPair(_mm_set1_pd(samples[j]));
#pragma GCC unroll 8
        for (int k = 0; k < L; ++k) samples[k] = _mm_cvtsd_f64(output(k, x, u));
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) state(i) = _mm_cvtsd_f64(nextState(i, x, u));
    }

    // Audio thread: run() on channel 0 (left) and channel 1 (right) at once,
    // one channel per lane.
    [[gnu::always_inline]] void runPair(DiscreteModel<N>& m, double (&left)[L], double (&right)[L]) const noexcept
    {
        __m128d x[N], u[L];
#pragma GCC unroll 8
        for (int j = 0; j < N; ++j) x[j] = _mm_set_pd(m.state[1](j), m.state[0](j));
#pragma GCC unroll 8
        for (int j = 0; j < L; ++j) u[j] = limitInputPair(_mm_set_pd(right[j], left[j]));
#pragma GCC unroll 8
        for (int k = 0; k < L; ++k) {
            const __m128d y = output(k, x, u);
            _mm_storel_pd(&left[k], y);
            _mm_storeh_pd(&right[k], y);
        }
#pragma GCC unroll 8
        for (int i = 0; i < N; ++i) {
            const __m128d next = nextState(i, x, u);
            _mm_storel_pd(&m.state[0](i), next);
            _mm_storeh_pd(&m.state[1](i), next);
        }
    }

    // Read-only views for tests.
    const Eigen::Matrix<double, L, N>& stateToOutput() const noexcept { return fromState; }
    const Eigen::Matrix<double, L, L>& inputToOutput() const noexcept { return fromInput; }

private:
    // Every sum runs over the state terms first, then the inputs in time
    // order. Output k depends on inputs 0..k only; the zeros above the
    // diagonal are not summed.
    [[gnu::always_inline]] __m128d output(int k, const __m128d (&x)[N], const __m128d (&u)[L]) const noexcept
    {
        __m128d acc = _mm_mul_pd(pairs.fromState[k][0], x[0]);
#pragma GCC unroll 8
        for (int j = 1; j < N; ++j) acc = _mm_add_pd(acc, _mm_mul_pd(pairs.fromState[k][j], x[j]));
#pragma GCC unroll 8
        for (int j = 0; j <= k; ++j) acc = _mm_add_pd(acc, _mm_mul_pd(pairs.fromInput[k][j], u[j]));
        return acc;
    }

    [[gnu::always_inline]] __m128d nextState(int i, const __m128d (&x)[N], const __m128d (&u)[L]) const noexcept
    {
        __m128d acc = _mm_mul_pd(pairs.stateFromState[i][0], x[0]);
#pragma GCC unroll 8
        for (int j = 1; j < N; ++j) acc = _mm_add_pd(acc, _mm_mul_pd(pairs.stateFromState[i][j], x[j]));
#pragma GCC unroll 8
        for (int j = 0; j < L; ++j) acc = _mm_add_pd(acc, _mm_mul_pd(pairs.stateFromInput[i][j], u[j]));
        return acc;
    }

    Eigen::Matrix<double, L, N> fromState = Eigen::Matrix<double, L, N>::Zero();
    Eigen::Matrix<double, L, L> fromInput = Eigen::Matrix<double, L, L>::Zero();
    SquareMatrix<N> stateFromState = SquareMatrix<N>::Identity();
    Eigen::Matrix<double, N, L> stateFromInput = Eigen::Matrix<double, N, L>::Zero();

    // Every coefficient in both lanes, for runPair().
    struct Pairs {
        __m128d fromState[L][N];
        __m128d fromInput[L][L];
        __m128d stateFromState[N][N];
        __m128d stateFromInput[N][L];
    };
    Pairs pairs{};
};

}  // namespace valvora
