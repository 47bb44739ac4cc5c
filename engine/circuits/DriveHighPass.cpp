#include "engine/circuits/DriveHighPass.h"

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
    p0_ = (k + sigma) * m;
    p1_ = 2.0 * sigma * m;
    // Equal in exact arithmetic; each keeps its own rounding.
    p2_ = m * g * k;
    p3_ = m * g * sigma + g;
}

}  // namespace valvora
