#include "convolution/SegmentSlot.h"

#include <algorithm>

#include "convolution/FftPlan.h"
#include "convolution/RealFft.h"
#include "convolution/SimdFloat.h"

namespace valvora {

SegmentSlot::SegmentSlot(RealFft& fft, int banks)
    : banks_(banks > 1 ? 2 : 1),
      spectra_{AlignedBuffer<float>(fft.plan().packedFloats()),
               AlignedBuffer<float>(banks > 1 ? fft.plan().packedFloats() : 0)},
      output_(fft.size())
{
}

void SegmentSlot::load(RealFft& fft, const float* taps, float* scratch, int bank) noexcept
{
    if (bank >= banks_) bank = 0;
    const int n = fftSize(), b = n / 2;
    std::copy(taps, taps + b, scratch);
    std::fill(scratch + b, scratch + n, 0.0f);
    reset();
    fft.forward(scratch, scratch);
    fft.scale(scratch);
    fft.plan().packSpectrum(scratch, spectra_[bank].data());
}

void SegmentSlot::reset() noexcept
{
    output_.clear();
    outputPosition = -1;
}

namespace {
void addInto(float* target, const float* values, int count) noexcept
{
    int j = 0;
    for (; j + 4 <= count; j += 4)
        simd::storeUnaligned(target + j, simd::loadUnaligned(target + j) + simd::loadUnaligned(values + j));
    for (; j < count; ++j) target[j] += values[j];
}
}  // namespace

void accumulateIntoRing(float* ring, int ringSize, int position, const float* values, int count) noexcept
{
    position %= ringSize;
    const int first = std::min(count, ringSize - position);
    addInto(ring + position, values, first);
    addInto(ring, values + first, count - first);
}

}  // namespace valvora
