#include "engine/stages/OutputLowPass.h"

namespace valvora {

void OutputLowPass::setPeriod(double period) noexcept
{
    if (!(period > 0.0) || !std::isfinite(period)) return;
    const double a = cornerRate;
    const double c = gain;
    const double p = std::exp(-a * period);
    a1 = -p;
    // The one-pole k / (1 - p z^-1) with this k has the prototype's DC gain c / a.
    const double k = (c / a) * (1.0 - p);
    const double halfPi = 1.5707963267948966;
    const double quarterRate = halfPi / period;
    // Analog magnitude at fs/4 over the one-pole's magnitude at z = j.
    const double r = (c / std::sqrt(a * a + quarterRate * quarterRate)) / (k / std::sqrt(p * p + 1.0));
    // A zero g + (1 - g) z^-1 with |g + (1 - g) z^-1| = r at z = j keeps the
    // DC gain (it is 1 at z = 1) and corrects the fs/4 magnitude.
    const double q = 2.0 * r * r - 1.0;
    const double g = q >= 0.0 ? (1.0 + std::sqrt(q)) * 0.5 : std::sqrt(1.0 - q) * 0.5;
    b0 = k * g;
    b1 = k * (1.0 - g);
}

}  // namespace valvora
