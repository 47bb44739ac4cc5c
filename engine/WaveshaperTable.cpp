#include "engine/WaveshaperTable.h"

namespace valvora {

namespace {
// The clipping network, SI units. The input drives x / inputResistance into
// the first node, which has shuntResistance to ground and reaches the second
// node through an antiparallel junction pair; the second node has another
// pair and loadResistance to ground.
constexpr double inputResistance = 3300.0;
constexpr double shuntResistance = 470000.0;
constexpr double firstPairSaturation = 9.32e-11;
constexpr double firstPairEmission = 3.73;
constexpr double secondPairSaturation = 2.682e-9;
constexpr double secondPairEmission = 1.836;
constexpr double loadResistance = 220000.0;
constexpr double thermalVoltage = 0.026;
// The first node can never leave this interval for inputs up to 15 V.
constexpr double searchLow = -2.45;
constexpr double searchHigh = 2.45;
constexpr double searchWidth = 1e-5;
}  // namespace

const WaveshaperTable WaveshaperTable::table;

double WaveshaperTable::residual(double x, double w) noexcept
{
    const double current = x * (1.0 / inputResistance) - w / shuntResistance;
    // Voltage the first pair needs for that current: n·Vt·asinh(I / 2Is).
    const double u = current * 0.5 / firstPairSaturation;
    const double second = w - firstPairEmission * thermalVoltage * std::log(u + std::sqrt(u * u + 1.0));
    const double drawn =
        2.0 * secondPairSaturation * std::sinh(second / (secondPairEmission * thermalVoltage)) +
        second / loadResistance;
    return current - drawn;
}

// Bisection: the residual changes sign exactly once over the search interval,
// and 19 halvings reach the stopping width without any derivative.
double WaveshaperTable::solvePoint(double x) noexcept
{
    double lo = searchLow;
    double hi = searchHigh;
    double rLo = residual(x, lo);
    double mid;
    do {
        mid = (lo + hi) * 0.5;
        const double r = residual(x, mid);
        if (r * rLo >= 0.0) {
            lo = mid;
            rLo = r;
        } else {
            hi = mid;
        }
    } while (!(hi - lo < searchWidth));
    return mid;
}

WaveshaperTable::WaveshaperTable() noexcept
{
    points[0] = 0.0;
    for (int i = 0; i < segmentCount; ++i) {
        const double start = breakpoints[i];
        const double width = breakpoints[i + 1] - start;
        for (int j = 1; j <= pointsPerSegment; ++j) {
            const double x = width * j * (1.0 / pointsPerSegment) + start;
            points[pointsPerSegment * i + j] = solvePoint(x);
        }
    }
}

}  // namespace valvora
