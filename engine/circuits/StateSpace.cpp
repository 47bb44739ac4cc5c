#include "engine/circuits/StateSpace.h"

#include <Eigen/LU>
#include <cmath>
#include <unsupported/Eigen/MatrixFunctions>

namespace valvora {

SquareMatrix<2> closedFormInverse(const SquareMatrix<2>& m) noexcept
{
    const double det = m(0, 0) * m(1, 1) - m(1, 0) * m(0, 1);
    SquareMatrix<2> inv;
    inv(0, 0) = m(1, 1) / det;
    inv(1, 0) = -m(1, 0) / det;
    inv(0, 1) = -m(0, 1) / det;
    inv(1, 1) = m(0, 0) / det;
    return inv;
}

SquareMatrix<3> closedFormInverse(const SquareMatrix<3>& m) noexcept
{
    // Cofactor (i, j) of m lands at (j, i) of the adjugate.
    auto cofactor = [&m](int i, int j) {
        const int r0 = i == 0 ? 1 : 0, r1 = i == 2 ? 1 : 2;
        const int c0 = j == 0 ? 1 : 0, c1 = j == 2 ? 1 : 2;
        const double minor = m(r0, c0) * m(r1, c1) - m(r0, c1) * m(r1, c0);
        return (i + j) % 2 == 0 ? minor : -minor;
    };
    SquareMatrix<3> adjugate;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) adjugate(j, i) = cofactor(i, j);
    const double det = m(0, 0) * adjugate(0, 0) + m(0, 1) * adjugate(1, 0) + m(0, 2) * adjugate(2, 0);
    return adjugate / det;
}

namespace {

template <int N>
SquareMatrix<N> resolventOf(const SquareMatrix<N>& m) noexcept
{
    if constexpr (N <= 3)
        return closedFormInverse(m);
    else
        return Eigen::PartialPivLU<SquareMatrix<N>>(m).inverse();
}

}  // namespace

template <int N>
bool zeroOrderHold(const ContinuousModel<N>& model, double period, DiscreteModel<N>& out) noexcept
{
    const SquareMatrix<N> scaled = model.a * period;
    const SquareMatrix<N> ad = scaled.exp();
    const SquareMatrix<N> inv = closedFormInverse(model.a);
    const SquareMatrix<N> integral = inv * (ad - SquareMatrix<N>::Identity());
    const ColumnVector<N> bd = integral * model.b;
    if (!(ad.allFinite() && bd.allFinite() && model.c.allFinite() && std::isfinite(model.d))) return false;
    out.ad = ad;
    out.bd = bd;
    out.cd = model.c;
    out.dd = model.d;
    out.preparePairs();
    return true;
}

template <int N>
bool bilinear(const ContinuousModel<N>& model, double period, SquareMatrix<N>& resolvent,
              DiscreteModel<N>& out) noexcept
{
    const double k = 2.0 / period;
    const SquareMatrix<N> kI = k * SquareMatrix<N>::Identity();
    const SquareMatrix<N> inverse = resolventOf<N>(kI - model.a);
    const SquareMatrix<N> ad = (kI + model.a) * inverse;
    const ColumnVector<N> bd = (2.0 * inverse) * model.b;
    // The row c·(k·I − a)⁻¹ serves both: unscaled for the feed-through, then
    // scaled by k for the state read-out.
    const Eigen::Matrix<double, 1, N> row = model.c.transpose() * inverse;
    const double dd = row.dot(model.b.transpose()) + model.d;
    const ColumnVector<N> cd = k * row.transpose();
    if (!(ad.allFinite() && bd.allFinite() && cd.allFinite() && std::isfinite(dd))) return false;
    resolvent = inverse;
    out.ad = ad;
    out.bd = bd;
    out.cd = cd;
    out.dd = dd;
    out.preparePairs();
    return true;
}

template bool zeroOrderHold<2>(const ContinuousModel<2>&, double, DiscreteModel<2>&) noexcept;
template bool zeroOrderHold<3>(const ContinuousModel<3>&, double, DiscreteModel<3>&) noexcept;
template bool bilinear<2>(const ContinuousModel<2>&, double, SquareMatrix<2>&, DiscreteModel<2>&) noexcept;
template bool bilinear<7>(const ContinuousModel<7>&, double, SquareMatrix<7>&, DiscreteModel<7>&) noexcept;

}  // namespace valvora
