#pragma once
// One IR segment of a partitioned convolution: its zero-padded, 1/N-scaled
// spectrum (packed for FftPlan's products), the last inverse transform
// computed for it, and where in the owner's output ring that result's valid
// half goes next.

#include <cstdint>

#include "convolution/AlignedBuffer.h"

namespace valvora {

class RealFft;

class SegmentSlot {
public:
    // Host thread: for transforms of `fft`'s size, with room for `banks`
    // spectra (1 or 2) of which one is in use; throws std::bad_alloc.
    explicit SegmentSlot(RealFft& fft, int banks = 1);

    // Owner's thread (the one that also processes): transforms `taps` (N/2
    // values) zero-padded to N into the packed spectrum of `bank` (the one
    // in use by default) and clears the output. scratch holds N floats.
    void load(RealFft& fft, const float* taps, float* scratch) noexcept { load(fft, taps, scratch, bank_); }
    void load(RealFft& fft, const float* taps, float* scratch, int bank) noexcept;
    // Owner's thread: the spectrum of `bank`, loaded before, is used from now on.
    void selectBank(int bank) noexcept { bank_ = bank < banks_ ? bank : 0; }
    void reset() noexcept;

    float* spectrum() noexcept { return spectra_[bank_].data(); }
    float* output() noexcept { return output_.data(); }
    const float* spectrum() const noexcept { return spectra_[bank_].data(); }
    const float* output() const noexcept { return output_.data(); }
    int fftSize() const noexcept { return static_cast<int>(output_.size()); }

    std::int32_t outputPosition = -1;  // -1: nothing pending

private:
    int banks_;
    int bank_ = 0;
    AlignedBuffer<float> spectra_[2];
    AlignedBuffer<float> output_;
};

// ring[(position + j) mod ringSize] += values[j] for j < count, count <= ringSize.
void accumulateIntoRing(float* ring, int ringSize, int position, const float* values, int count) noexcept;

}  // namespace valvora
