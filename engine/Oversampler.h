#pragma once
// Eight-times rate change for the distorting preamp. Each direction is a
// two-step cascade: a polyphase half-band made of first-order allpass sections
// for the factor 2, and a 40-tap low-pass FIR in polyphase form for the
// factor 4. Up: half-band (1 to 2), then FIR (2 to 8). Down: FIR (8 to 2),
// then half-band (2 to 1). One object serves one channel in one direction.

#include <array>

#include "engine/ResamplingCoefficients.h"

namespace valvora {

class Oversampler {
public:
    static constexpr int factor = 8;
    static constexpr int firLength = 40;
    static constexpr int allpassCount = 8;
    static constexpr int ringSize = 64;

    // The shared read-only coefficient tables (nothing to allocate per
    // object). Path 0 of the half-band uses the even-indexed allpass
    // coefficients, path 1 the odd-indexed ones; the FIR's four phases are
    // the taps k, k + 4, ..., k + 36.
    static constexpr const std::array<double, allpassCount>& allpassCoefficients =
        resampling::allpassCoefficients;
    static constexpr const std::array<double, firLength>& firCoefficients = resampling::firCoefficients;

    Oversampler() noexcept = default;
    virtual ~Oversampler() = default;

    // Audio thread. One host-rate sample in, 8 samples out, oldest first.
    // NaN and infinite inputs count as silence and huge ones are limited, so
    // no state can become NaN or infinite.
    void up(double x, double out[factor]) noexcept;

    // Audio thread. 8 samples (oldest first) in, one host-rate sample out.
    // Inputs are sanitised as for up().
    double down(const double in[factor]) noexcept;

    int ringPosition() const noexcept { return position; }

    // Far above any audio level; the filters' peak gains cannot carry it to
    // the overflow threshold.
    static constexpr double inputLimit = 1e300;

private:
    // Slot j and slot j + 64 always hold the same sample, so every filter
    // window reads contiguously without a wrap test.
    std::array<double, 2 * ringSize> history{};
    int position = 0;
    std::array<double, allpassCount> allpassInputs{};
    std::array<double, allpassCount> allpassOutputs{};
};

}  // namespace valvora
