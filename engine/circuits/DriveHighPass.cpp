#include "engine/circuits/DriveHighPass.h"

#include <cmath>

namespace valvora {

namespace {
// Pole of the prototype at full gain, in rad/s (about 103 Hz).
constexpr double fullGainPole = 644.744680851063;
// Level divider: G = 1 / (31.303 − 30.303·gain), 1 at full gain.
constexpr double dividerOffset = 31.303;
constexpr double dividerSlope = 30.303;
}  // namespace

DriveHighPass::DriveHighPass() noexcept
{
    update(1.0 / 44100.0, 0.5);
}

void DriveHighPass::update(double period, double gain) noexcept
{
    const double g = 1.0 / (dividerOffset - dividerSlope * gain);
    const double sigma = -fullGainPole * g;
    const double k = 2.0 / period;
    const double m = 1.0 / (k - sigma);
    const double p0 = (k + sigma) * m;
    const double p1 = 2.0 * sigma * m;
    // Equal in exact arithmetic; each keeps its own rounding.
    const double p2 = m * g * k;
    const double p3 = m * g * sigma + g;
    // A degenerate period or gain keeps the last sound coefficients: one
    // non-finite coefficient would make the state NaN for good.
    if (!(std::isfinite(p0) && std::isfinite(p1) && std::isfinite(p2) && std::isfinite(p3))) return;
    p0_ = p0;
    p1_ = p1;
    p2_ = p2;
    p3_ = p3;
}

}  // namespace valvora
