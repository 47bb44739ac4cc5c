#include "convolution/PackedProduct.h"

#include <cmath>
#include <vector>

#include "convolution/FftWideKernels.h"
#include "convolution/PackedPairs.h"
#include "convolution/SimdFloat.h"

namespace valvora {

namespace {

constexpr double twoPi = 6.283185307179586476925286766559;

using simd::Float4;

// How one side of a pair is read and written: four lanes (the mirror side in
// reverse lane order) or one bin.
struct VectorAccess {
    using T = Float4;
    static T at(const float* b, int p) noexcept { return simd::load(b + p); }
    static T mirrorAt(const float* b, int p) noexcept { return simd::reversed(simd::load(b + p)); }
    static void put(float* b, int p, T v) noexcept { simd::store(b + p, v); }
    static void putMirror(float* b, int p, T v) noexcept { simd::store(b + p, simd::reversed(v)); }
};

struct ScalarAccess {
    using T = float;
    static T at(const float* b, int p) noexcept { return b[p]; }
    static T mirrorAt(const float* b, int p) noexcept { return b[p]; }
    static void put(float* b, int p, T v) noexcept { b[p] = v; }
    static void putMirror(float* b, int p, T v) noexcept { b[p] = v; }
};

}  // namespace

PackedProduct::PackedProduct(int size, int imaginaryOffset, const int* positionOf, bool wide)
    : wide_(wide),
      m_(size / 2),
      positionOf_(size / 2),
      cosines_(size / 2),
      sines_(size / 2),
      vectorPairs_(size / 2),
      scalarPairs_(size / 2)
{
    const int m = m_;
    std::vector<int> frequencyAt(m);
    for (int k = 0; k < m; ++k) {
        positionOf_[k] = positionOf[k];
        frequencyAt[positionOf[k]] = k;
    }
    for (int p = 0; p < m; ++p) {
        cosines_[p] = static_cast<float>(std::cos(twoPi * frequencyAt[p] / size));
        sines_[p] = static_cast<float>(std::sin(twoPi * frequencyAt[p] / size));
    }
    auto mirrorOf = [&](int p) { return positionOf[(m - frequencyAt[p]) & (m - 1)]; };
    int vectorPairs = 0, scalarPairs = 0;
    std::vector<bool> inVector(m, false);
    for (int p = 0; p < m; p += 4) {
        const int q = mirrorOf(p + 3);
        bool reversed = q % 4 == 0 && q != p;
        for (int l = 0; l < 4; ++l) reversed = reversed && mirrorOf(p + l) == q + 3 - l;
        if (!reversed) continue;
        for (int l = 0; l < 4; ++l) inVector[p + l] = true;
        if (p < q) {
            vectorPairs_[2 * vectorPairs] = p;
            vectorPairs_[2 * vectorPairs + 1] = q;
            ++vectorPairs;
        }
    }
    for (int k = 1; k < m / 2; ++k) {
        const int p = positionOf[k];
        if (inVector[p]) continue;
        scalarPairs_[2 * scalarPairs] = p;
        scalarPairs_[2 * scalarPairs + 1] = positionOf[m - k];
        ++scalarPairs;
    }
    tables_ = {cosines_.data(), sines_.data(), vectorPairs_.data(), vectorPairs,    scalarPairs_.data(),
               scalarPairs,     positionOf[0], positionOf[m / 2],   imaginaryOffset};
}

void PackedProduct::pack(const float* spectrum, float* packed) const noexcept
{
    const int m = m_;
    const int zero = tables_.zeroPosition;
    float *re = packed, *im = packed + tables_.imaginaryOffset;
    // The DC and Nyquist terms share bin 0's slot.
    re[zero] = 0.5f * spectrum[0];
    im[zero] = 0.5f * spectrum[m];
    for (int k = 1; k < m; ++k) {
        const int p = positionOf_[k];
        re[p] = 0.5f * spectrum[k];
        im[p] = 0.5f * spectrum[k + m];
    }
}

void PackedProduct::multiply(float* re, float* im, const float* h, float* kept) const noexcept
{
    if (wide_)
        wide::packedMultiply(tables_, re, im, h, kept);
    else
        packedpairs::multiply<VectorAccess, ScalarAccess>(tables_, re, im, h, kept);
}

void PackedProduct::multiplyAdd(float* re, float* im, float* now, const float* before, const float* hNow,
                                const float* hBefore, bool nowGiven) const noexcept
{
    if (wide_)
        wide::packedMultiplyAdd(tables_, re, im, now, before, hNow, hBefore, nowGiven);
    else
        packedpairs::multiplyAdd<VectorAccess, ScalarAccess>(tables_, re, im, now, before, hNow, hBefore,
                                                             nowGiven);
}

}  // namespace valvora
