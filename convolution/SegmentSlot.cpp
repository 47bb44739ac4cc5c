#include "convolution/SegmentSlot.h"

#include <algorithm>

#include "convolution/RealFft.h"
#include "convolution/SimdFloat.h"

namespace valvora {

SegmentSlot::SegmentSlot(int fftSize) : spectrum_(fftSize), output_(fftSize) {}

void SegmentSlot::load(RealFft& fft, const float* taps, float* scratch) noexcept
{
    const int n = fftSize(), b = n / 2;
    std::copy(taps, taps + b, scratch);
    std::fill(scratch + b, scratch + n, 0.0f);
    reset();
    fft.forward(scratch, spectrum_.data());
    fft.scale(spectrum_.data());
}

void SegmentSlot::reset() noexcept
{
    output_.clear();
    outputPosition = -1;
}

void multiplySpectra(const float* x, const float* h, float* product, int n) noexcept
{
    using simd::Float4;
    const int half = n / 2;
    // Slots 0 and N/2 hold two real terms, not one complex bin.
    const float dc = x[0] * h[0], nyquist = x[half] * h[half];
    const float *xr = x, *xi = x + half, *hr = h, *hi = h + half;
    float *pr = product, *pi = product + half;
    for (int k = 0; k < half; k += 4) {
        const Float4 a = simd::loadUnaligned(xr + k), b = simd::loadUnaligned(xi + k);
        const Float4 c = simd::loadUnaligned(hr + k), d = simd::loadUnaligned(hi + k);
        simd::storeUnaligned(pr + k, a * c - b * d);
        simd::storeUnaligned(pi + k, a * d + b * c);
    }
    product[0] = dc;
    product[half] = nyquist;
}

void multiplyAddSpectra(const float* x, const float* h, const float* y, const float* g, float* product,
                        int n) noexcept
{
    using simd::Float4;
    const int half = n / 2;
    const float dc = x[0] * h[0] + y[0] * g[0], nyquist = x[half] * h[half] + y[half] * g[half];
    for (int k = 0; k < half; k += 4) {
        const Float4 xr = simd::loadUnaligned(x + k), xi = simd::loadUnaligned(x + half + k);
        const Float4 hr = simd::loadUnaligned(h + k), hi = simd::loadUnaligned(h + half + k);
        const Float4 yr = simd::loadUnaligned(y + k), yi = simd::loadUnaligned(y + half + k);
        const Float4 gr = simd::loadUnaligned(g + k), gi = simd::loadUnaligned(g + half + k);
        simd::storeUnaligned(product + k, (xr * hr - xi * hi) + (yr * gr - yi * gi));
        simd::storeUnaligned(product + half + k, (xr * hi + xi * hr) + (yr * gi + yi * gr));
    }
    product[0] = dc;
    product[half] = nyquist;
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
