#pragma once
#include <array>
#include <cstddef>

namespace valvora {

// Maps a control value in [0, 1] to a position on a measured potentiometer
// curve by linear interpolation between equally spaced points. Values outside
// [0, 1] (or NaN, read as 0) are clamped first so no host value can index
// outside the table.
template <std::size_t Points>
class ControlTaper {
public:
    static_assert(Points == 11 || Points == 21);
    constexpr explicit ControlTaper(const std::array<double, Points>& table) : table_(table) {}

    double operator()(double x) const noexcept
    {
        if (!(x > 0.0)) x = 0.0;  // also NaN
        if (x > 1.0) x = 1.0;
        constexpr double steps = static_cast<double>(Points - 1);
        const double p = x * steps;
        const auto i = static_cast<std::size_t>(p);
        double r = table_[i];
        const double f = p - static_cast<double>(i);
        // A fraction at or below 1e-6 takes the point itself, so x = 1 never
        // reads past the last point.
        if (f > 1e-6) r += (table_[i + 1] - r) * f;
        return r;
    }

    double point(std::size_t i) const noexcept { return table_[i]; }

private:
    std::array<double, Points> table_;
};

namespace tapers {
extern const ControlTaper<11> bass;
extern const ControlTaper<11> middle;
extern const ControlTaper<11> treble;
extern const ControlTaper<21> gain;
extern const ControlTaper<21> normalVolume;
extern const ControlTaper<21> driveVolume;
}  // namespace tapers

}  // namespace valvora
