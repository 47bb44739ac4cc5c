#pragma once
// The drive channel's diode-clipper curve W(x) for x >= 0, tabulated once at
// module load by solving the clipping network's current balance, and read by
// linear interpolation. Four segments of 256 points whose widths grow by 4
// from one to the next put the finest grid where small signals live.

#include <array>
#include <cmath>

namespace valvora {

class WaveshaperTable {
public:
    static constexpr int pointsPerSegment = 256;
    static constexpr int segmentCount = 4;
    static constexpr int pointCount = pointsPerSegment * segmentCount + 1;
    // Segment edges in volts; from the second on each is 4 times the last.
    static constexpr std::array<double, segmentCount + 1> breakpoints = {0.0, 0.234375, 0.9375, 3.75, 15.0};

    // The one module-wide table. It is built by static initialisation, before
    // any plug-in object can exist; no static object elsewhere may read it
    // while static initialisation runs. Any thread; read-only.
    static const WaveshaperTable& instance() noexcept { return table; }

    // W(x) for x >= 0; any thread, per sample. x of 15 or more gives the last
    // point. NaN gives 0; a negative x gives -W(-x), the curve being odd.
    double lookup(double x) const noexcept
    {
        if (!(x >= 0.0)) return std::isnan(x) ? 0.0 : -lookup(-x);
        if (x >= breakpoints[segmentCount]) return points[pointCount - 1];
        int i = 0;
        if (x >= breakpoints[1]) ++i;
        if (x >= breakpoints[2]) ++i;
        if (x >= breakpoints[3]) ++i;
        const double p = (x - breakpoints[i]) / (breakpoints[i + 1] - breakpoints[i]) * pointsPerSegment;
        const int k = static_cast<int>(p);
        const double f = p - k;
        const double* segment = &points[pointsPerSegment * i + k];
        if (f > 1e-10) return f * segment[1] + (1.0 - f) * segment[0];
        return segment[0];
    }

    double point(int index) const noexcept { return points[index]; }

    // Network current balance for input x and first-node voltage w: the
    // current through the first diode pair minus what the second pair and the
    // load draw at the second node. Zero at the solution; exposed for tests.
    static double residual(double x, double w) noexcept;

private:
    WaveshaperTable() noexcept;
    static double solvePoint(double x) noexcept;

    static const WaveshaperTable table;
    std::array<double, pointCount> points{};
};

}  // namespace valvora
