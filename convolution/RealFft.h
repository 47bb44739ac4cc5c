#pragma once
// Real-input FFT of one power-of-two size (128 to 16384), one class per size
// behind this interface.
//
// Spectrum layout (N floats): [0] the real DC term, [N/2] the real Nyquist
// term, and for 1 <= k < N/2, [k] the real and [k + N/2] the imaginary part of
// bin k (kernel e^{-2 pi i kn/N}). The inverse is unnormalised: inverse of
// forward gives N times the input; scale() applies the exact 1/N.

#include <memory>

namespace valvora {

class FftPlan;

class RealFft {
public:
    static constexpr int smallestSize = 128;
    static constexpr int largestSize = 16384;

    // Host thread: builds the plan for `size` points. Returns null for a size
    // that is not a power of two from 128 to 16384; throws std::bad_alloc.
    static std::unique_ptr<RealFft> create(int size);
    // The same for owners whose sizes are fixed: throws std::bad_alloc
    // instead of returning null.
    static std::unique_ptr<RealFft> require(int size);

    virtual ~RealFft() = default;
    // Owner's thread; never allocates. in and out may be the same buffer.
    virtual void forward(const float* in, float* out) noexcept = 0;
    virtual void inverse(const float* in, float* out) noexcept = 0;
    // Multiplies the N values of data by exactly 1/N.
    virtual void scale(float* data) const noexcept = 0;
    virtual int size() const noexcept = 0;
    // The algorithm behind the transform, for the convolvers' packed products.
    virtual FftPlan& plan() noexcept = 0;
};

}  // namespace valvora
