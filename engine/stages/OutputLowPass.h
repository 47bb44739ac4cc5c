#pragma once
// A fixed first-order low-pass near 6.64 kHz that takes the fizz off the
// amplifier's output. Matched to the analog one-pole c / (s + a) at two
// points: exactly unit gain at 0 Hz and exactly the analog magnitude at a
// quarter of the sample rate, which keeps its character at every host rate.

#include <cmath>

namespace valvora {

class OutputLowPass {
public:
    OutputLowPass() noexcept = default;
    virtual ~OutputLowPass() = default;

    // Audio thread (engine update), on every rate change; never allocates.
    // Recomputes on every call. A period that is not finite and positive is
    // ignored: the filter keeps its previous coefficients.
    void setPeriod(double period) noexcept;

    // Audio thread, per sample; channel is 0 or 1. NaN and infinite samples
    // count as silence and huge ones are limited, so the state stays finite
    // whatever arrives.
    double process(double& sample, int channel) noexcept
    {
        double x = sample;
        if (!(std::fabs(x) <= inputLimit)) x = std::isfinite(x) ? std::copysign(inputLimit, x) : 0.0;
        const double w1 = state[channel];
        const double w = x - a1 * w1;
        const double y = b0 * w + b1 * w1;
        state[channel] = w;
        sample = y;
        return y;
    }

    // Read-only views for tests and tools.
    double b0Value() const noexcept { return b0; }
    double b1Value() const noexcept { return b1; }
    double a1Value() const noexcept { return a1; }
    double stateValue(int channel) const noexcept { return state[channel]; }

    // Far above any audio level, far enough below the overflow threshold that
    // the recursion's gain (at most 1 / (1 - pole)) cannot reach infinity.
    static constexpr double inputLimit = 1e300;

private:
    // Corner of the analog prototype, rad/s (about 6.64 kHz).
    double cornerRate = 41719.55583;
    // The prototype's numerator; equal to the corner, so its DC gain is 1.
    double gain = 41719.55583;
    double b0 = 0.0;
    double b1 = 0.0;
    double a1 = 0.0;
    double state[2] = {0.0, 0.0};
};

}  // namespace valvora
