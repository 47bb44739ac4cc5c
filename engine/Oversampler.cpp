#include "engine/Oversampler.h"

#include <cmath>

namespace valvora {

const std::array<double, Oversampler::allpassCount> Oversampler::allpassCoefficients = {
    0.029224847909498444, 0.11100633018519479, 0.23034569682098943, 0.36934599510310256,
    0.5132320320968043,   0.6537278571840232,  0.789787692015113,   0.9271638358417171,
};

// f1..f39 are symmetric about f20; f0 is one extra leading tap.
const std::array<double, Oversampler::firLength> Oversampler::firCoefficients = {
    -7.111575987489e-05, -0.0002893544544052, -0.0006991498583572, -0.00117931033888,   -0.001342357672754,
    -0.0006016779803501, 0.001486891313233,   0.004678671926338,   0.007605322379221,   0.007908022733745,
    0.003241060504246,   -0.007037083536248,  -0.02027015214415,   -0.03011149870485,   -0.02812444850665,
    -0.007214589137064,  0.03442691499253,    0.09086103208369,    0.1490551210802,     0.1929171830684,
    0.2092364495061,     0.1929171830684,     0.1490551210802,     0.09086103208369,    0.03442691499253,
    -0.007214589137064,  -0.02812444850665,   -0.03011149870485,   -0.02027015214415,   -0.007037083536248,
    0.003241060504246,   0.007908022733745,   0.007605322379221,   0.004678671926338,   0.001486891313233,
    -0.0006016779803501, -0.001342357672754,  -0.00117931033888,   -0.0006991498583572, -0.0002893544544052,
};

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

// One FIR phase (taps phase, phase + 4, ..., phase + 36) on a window read
// from newest to oldest.
inline double firPhase(int phase, const double* newest) noexcept
{
    const auto& f = Oversampler::firCoefficients;
    double sum = 0.0;
    for (int j = 0; j < Oversampler::firLength / 4; ++j) sum += f[phase + 4 * j] * newest[j];
    return sum;
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

    const double* h = &history[position];
    for (int k = 0; k < 4; ++k) {
        out[k] = firPhase(k, h + 1);  // window ending at p0
        out[k + 4] = firPhase(k, h);  // window ending at p1
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
    const int newest = (position + factor - 1) % ringSize + ringSize;
    double b = 0.0;
    double a = 0.0;
    for (int t = 0; t < firLength; ++t) {
        b += firCoefficients[t] * history[newest - t];
        a += firCoefficients[t] * history[newest - 4 - t];
    }
    position = (position + factor) % ringSize;

    const double q0 = allpassPath(b, 0, allpassInputs.data(), allpassOutputs.data());  // newer 2x sample
    const double q1 = allpassPath(a, 1, allpassInputs.data(), allpassOutputs.data());  // older 2x sample
    return (q0 + q1) * 0.5;
}

}  // namespace valvora
