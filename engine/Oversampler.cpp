#include "engine/Oversampler.h"

#include <cmath>

namespace valvora {

namespace {

inline double sanitise(double x) noexcept
{
    if (!(std::fabs(x) <= Oversampler::inputLimit)) x = std::isfinite(x) ? std::copysign(Oversampler::inputLimit, x) : 0.0;
    return x;
}

// One path of the half-band: four first-order allpass sections in cascade,
// using coefficients first, first + 2, first + 4, first + 6.
inline double allpassPath(double x, int first, double* inputs, double* outputs) noexcept
{
    const auto& c = Oversampler::allpassCoefficients;
    for (int s = first; s < Oversampler::allpassCount; s += 2) {
        const double y = (x - outputs[s]) * c[s] + inputs[s];
        inputs[s] = x;
        outputs[s] = y;
        x = y;
    }
    return x;
}

// The FIR taps in reverse, so that a window read from oldest to newest meets
// them in memory order.
constexpr std::array<double, Oversampler::firLength> reversed(const std::array<double, Oversampler::firLength>& f)
{
    std::array<double, Oversampler::firLength> r{};
    for (int t = 0; t < Oversampler::firLength; ++t) r[t] = f[Oversampler::firLength - 1 - t];
    return r;
}

}  // namespace

void Oversampler::up(double x, double out[factor]) noexcept
{
    // Each FIR phase passes about 1/4 of DC; 4 restores unit gain.
    const double v = 4.0 * sanitise(x);
    const double p0 = allpassPath(v, 0, allpassInputs.data(), allpassOutputs.data());
    const double p1 = allpassPath(v, 1, allpassInputs.data(), allpassOutputs.data());

    // p1 is the later of the two 2x-rate samples; reading upward from
    // position goes back in time.
    position = (position + ringSize - 2) % ringSize;
    const int older = (position + 1) % ringSize;
    history[position] = history[position + ringSize] = p1;
    history[older] = history[older + ringSize] = p0;

    // Outputs 0-3 use the window whose newest entry is p0 (h[1]), outputs
    // 4-7 the one ending at p1 (h[0]). Eight independent sums, one pass.
    const double* h = &history[position];
    const auto& f = firCoefficients;
    double early[4] = {}, late[4] = {};
#pragma GCC unroll 10
    for (int j = 0; j < firLength / 4; ++j) {
        for (int k = 0; k < 4; ++k) {
            early[k] += f[k + 4 * j] * h[j + 1];
            late[k] += f[k + 4 * j] * h[j];
        }
    }
    for (int k = 0; k < 4; ++k) {
        out[k] = early[k];
        out[k + 4] = late[k];
    }
}

double Oversampler::down(const double in[factor]) noexcept
{
    for (int i = 0; i < factor; ++i) {
        const int slot = (position + i) % ringSize;
        history[slot] = history[slot + ringSize] = sanitise(in[i]);
    }
    // Only the two 8x-rate outputs that survive the decimation are computed:
    // the ones after in[3] and after in[7]. Both windows reach into the
    // previous calls' samples.
    // Each sum is split by tap index modulo 4 into four short independent
    // chains; the windows are read oldest first against the reversed taps.
    static constexpr std::array<double, firLength> taps = reversed(firCoefficients);
    const int newest = (position + factor - 1) % ringSize + ringSize;
    const double* lateWindow = &history[newest - (firLength - 1)];  // ends at in[7]
    const double* earlyWindow = lateWindow - 4;                      // ends at in[3]
    double late[4] = {}, early[4] = {};
#pragma GCC unroll 10
    for (int t = 0; t < firLength; t += 4) {
        for (int k = 0; k < 4; ++k) {
            late[k] += taps[t + k] * lateWindow[t + k];
            early[k] += taps[t + k] * earlyWindow[t + k];
        }
    }
    const double b = (late[0] + late[1]) + (late[2] + late[3]);
    const double a = (early[0] + early[1]) + (early[2] + early[3]);
    position = (position + factor) % ringSize;

    const double q0 = allpassPath(b, 0, allpassInputs.data(), allpassOutputs.data());  // newer 2x sample
    const double q1 = allpassPath(a, 1, allpassInputs.data(), allpassOutputs.data());  // older 2x sample
    return (q0 + q1) * 0.5;
}

}  // namespace valvora
