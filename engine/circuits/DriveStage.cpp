#include "engine/circuits/DriveStage.h"

#include <Eigen/LU>
#include <cmath>
#include <complex>
#include <numbers>

namespace valvora {

namespace {

// Network matrices, row by row (three real poles near 340 Hz, 730 Hz, 4.3 kHz).
constexpr double networkA[3][3] = {
    {-2754.81818181818, 2754.81818181818, -1377.40909090909},
    {1934.23404255319, -25805.5319148936, 3561.81914893617},
    {-1377.40909090909, 5072.89393939393, -5072.89393939393},
};
constexpr double networkB[3] = {0.0, -21276.5957446808, 0.0};
constexpr double networkC[3] = {0.0, -1.0, 1.0};

using ComplexF = std::complex<float>;

// |g·p + h|²·|C·(p·I − A)⁻¹·B + D|², all in single-precision complex: the
// correction taps are voiced on these single-precision figures.
template <int N>
float squaredResponse(const SquareMatrix<N>& a, const ColumnVector<N>& b, const ColumnVector<N>& c, double d,
                      ComplexF p, ComplexF correction)
{
    using MatrixF = Eigen::Matrix<ComplexF, N, N>;
    const MatrixF m = p * MatrixF::Identity() - a.template cast<float>().template cast<ComplexF>();
    const MatrixF inv = m.inverse();
    const Eigen::Matrix<ComplexF, 1, N> cRow = c.transpose().template cast<float>().template cast<ComplexF>();
    const Eigen::Matrix<ComplexF, N, 1> bCol = b.template cast<float>().template cast<ComplexF>();
    const ComplexF h = (cRow * inv * bCol)(0, 0) + ComplexF(static_cast<float>(d), 0.0f);
    return std::norm(correction) * std::norm(h);
}

}  // namespace

DriveStage::DriveStage() noexcept
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) model_.a(i, j) = networkA[i][j];
        model_.b(i) = networkB[i];
        model_.c(i) = networkC[i];
    }
    model_.d = 0.0;
}

void DriveStage::setPeriod(double period) noexcept
{
    if (!(period < period_ || period > period_)) return;
    period_ = period;
    if (!zeroOrderHold(model_, period, discrete_)) return;
    correctionCurrent_ = 1.0;
    correctionPrevious_ = 0.0;

    const ComplexF one(1.0f, 0.0f);
    const ComplexF quarterRate(0.0f, static_cast<float>((std::numbers::pi / 2.0) / period));
    const ComplexF quarterTurn(static_cast<float>(std::cos(std::numbers::pi / 2.0)),
                               static_cast<float>(std::sin(std::numbers::pi / 2.0)));
    const double p0 = squaredResponse(model_.a, model_.b, model_.c, model_.d, ComplexF(0.0f, 0.0f), one);
    const double p1 = squaredResponse(model_.a, model_.b, model_.c, model_.d, quarterRate, one);
    // The discrete model is seen through the correction as it stands (g = 1,
    // h = 0), so its factor is g·p + h = p.
    const double p2 = squaredResponse(discrete_.ad, discrete_.bd, discrete_.cd, discrete_.dd, one, one);
    const double p3 =
        squaredResponse(discrete_.ad, discrete_.bd, discrete_.cd, discrete_.dd, quarterTurn, quarterTurn);

    const double k = p0 / p2;
    const double r = p1 / p3;
    const double x = 2.0 * r * r - 1.0;
    const double s = x >= 0.0 ? 1.0 + std::sqrt(x) : std::sqrt(1.0 - x);
    const double g = s * k * 0.5;
    if (!(std::isfinite(g) && std::isfinite(k))) {
        // Only a degenerate period gets here; an uncorrected network is sound.
        correctionCurrent_ = 1.0;
        correctionPrevious_ = 0.0;
        return;
    }
    correctionCurrent_ = g;
    correctionPrevious_ = k - g;
}

}  // namespace valvora
