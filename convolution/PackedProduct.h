#pragma once
// The convolvers' spectral product, taken where the transform's passes leave
// their data: the complex half-size spectrum Z in the passes' digit-reversed
// order. One pass untangles each mirrored pair of bins (k, M-k) into the real
// spectrum, multiplies it by the segment's spectrum and tangles the product
// back, all in registers, so a block needs neither the reordering gathers nor
// the separate untangle, product and tangle passes of the public transform.
//
// Packed buffers (n + padding floats, see FftPlan::packedFloats) hold one
// value per bin at the bin's position after the passes: real parts from 0,
// imaginary parts from `imaginaryOffset`; bin 0 carries the DC term as its
// real and the Nyquist term as its imaginary part. Packed segment spectra
// carry an extra factor 1/2 (exact) that the untangling formulas leave out.

#include "convolution/AlignedBuffer.h"
#include "convolution/PackedPairs.h"

namespace valvora {

class PackedProduct {
public:
    // Host thread: size = N, positionOf[k] = where bin k of the M = N/2 point
    // complex transform sits after the passes. With `wide`, the products run
    // in AVX2 and FMA code (the caller checked that the processor has them).
    // Throws std::bad_alloc.
    PackedProduct(int size, int imaginaryOffset, const int* positionOf, bool wide);

    // Load time: a spectrum in the RealFft layout into the packed form.
    void pack(const float* spectrum, float* packed) const noexcept;
    // Z (re/im: the transform's work arrays) becomes the packed transform of
    // the product of its real spectrum X with h's, ready for the inverse
    // passes. Unless `kept` is null, X is also stored there (packed).
    void multiply(float* re, float* im, const float* h, float* kept = nullptr) const noexcept;
    // The same with X·hNow + before·hBefore, where X is stored to `now`
    // (packed, for the next block's `before`); or, with nowGiven, X is taken
    // from `now` (kept by multiply from the same window) and Z is not read.
    void multiplyAdd(float* re, float* im, float* now, const float* before, const float* hNow,
                     const float* hBefore, bool nowGiven = false) const noexcept;

private:
    bool wide_;
    int m_;
    AlignedBuffer<int> positionOf_;
    AlignedBuffer<float> cosines_;  // of bin k's angle 2 pi k / N, by position
    AlignedBuffer<float> sines_;
    // Vectors of four positions whose mirrored bins fill another vector in
    // reverse lane order: (p, q) per pair.
    AlignedBuffer<int> vectorPairs_;
    // The remaining mirrored pairs, one bin each side: (p, q) per pair.
    AlignedBuffer<int> scalarPairs_;
    packedpairs::Tables tables_{};  // the above, and bins 0 and M/2 (its own mirror)
};

}  // namespace valvora
