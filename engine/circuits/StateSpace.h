#pragma once
// The state-space scheme shared by every linear circuit of the amp: a
// continuous model dx/dt = a·x + b·u, y = c·x + d·u, turned into a per-sample
// recurrence by zero-order hold or by the bilinear transform. Only the
// discretisation source includes Eigen's MatrixFunctions; this header stays
// light so that the stages including it compile fast.

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
        ColumnVector<N>& x = state[channel];
        const double y = dd * u + cd.dot(x);
        advance(u, channel);
        return y;
    }

    // ad·x is accumulated column by column (each column a contiguous, vector
    // friendly run), then the input term is added on the way back.
    void advance(double u, int channel) noexcept
    {
        ColumnVector<N>& x = state[channel];
        ColumnVector<N> next = ad.col(0) * x(0);
        for (int j = 1; j < N; ++j) next += ad.col(j) * x(j);
        x = next + bd * u;
    }
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
