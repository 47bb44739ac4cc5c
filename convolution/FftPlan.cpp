#include "convolution/FftPlan.h"

#include <cmath>
#include <vector>

#include "convolution/FftPasses.h"
#include "convolution/FftWideKernels.h"
#include "convolution/SimdFloat.h"

namespace valvora {

using simd::Float4;
using simd::load;
using simd::store;

namespace {

constexpr double twoPi = 6.283185307179586476925286766559;

// The baseline's lanes for the shared radix-4 passes: SSE2, four floats.
struct NarrowLanes {
    using Vector = Float4;
    static constexpr int width = 4;
    static Float4 load(const float* p) noexcept { return simd::load(p); }
    static void store(float* p, Float4 v) noexcept { simd::store(p, v); }
    static Float4 loadUnaligned(const float* p) noexcept { return simd::loadUnaligned(p); }
    static void storeUnaligned(float* p, Float4 v) noexcept { simd::storeUnaligned(p, v); }
    static void evenOdd(Float4 a, Float4 b, Float4& even, Float4& odd) noexcept
    {
        even = __builtin_shuffle(a, b, simd::Int4{0, 2, 4, 6});
        odd = __builtin_shuffle(a, b, simd::Int4{1, 3, 5, 7});
    }
    static void interleave(Float4 re, Float4 im, Float4& low, Float4& high) noexcept
    {
        low = __builtin_shuffle(re, im, simd::Int4{0, 4, 1, 5});
        high = __builtin_shuffle(re, im, simd::Int4{2, 6, 3, 7});
    }
};

using Complex4 = fftpasses::Complex<NarrowLanes>;
using fftpasses::dft4;
using fftpasses::idft4;
using fftpasses::times;
using fftpasses::timesConjugate;

inline Complex4 loadComplex(const float* re, const float* im, int i) noexcept
{
    return {load(re + i), load(im + i)};
}
inline void storeComplex(float* re, float* im, int i, Complex4 v) noexcept
{
    store(re + i, v.re);
    store(im + i, v.im);
}

constexpr auto radix4Forward = fftpasses::radix4Forward<NarrowLanes>;
constexpr auto radix4Inverse = fftpasses::radix4Inverse<NarrowLanes>;
constexpr auto radix4ForwardFromInterleaved = fftpasses::radix4ForwardFromInterleaved<NarrowLanes>;
constexpr auto radix4InverseToInterleaved = fftpasses::radix4InverseToInterleaved<NarrowLanes>;

void radix2Forward(float* re, float* im, int m, int q, const float* tw) noexcept
{
    for (int base = 0; base < m; base += 2 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += 4) {
            const Complex4 a = loadComplex(r, i, k), b = loadComplex(r, i, k + q);
            storeComplex(r, i, k, a + b);
            storeComplex(r, i, k + q, times(a - b, load(tw + k), load(tw + q + k)));
        }
    }
}

void radix2Inverse(float* re, float* im, int m, int q, const float* tw) noexcept
{
    for (int base = 0; base < m; base += 2 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += 4) {
            const Complex4 a = loadComplex(r, i, k);
            const Complex4 b = timesConjugate(loadComplex(r, i, k + q), load(tw + k), load(tw + q + k));
            storeComplex(r, i, k, a + b);
            storeComplex(r, i, k + q, a - b);
        }
    }
}

// The last four-point DFTs: four blocks at a time, transposed so that each
// vector holds the same element of four blocks. Results stay transposed; the
// order table accounts for it.
void finalForward(float* re, float* im, int m) noexcept
{
    for (int base = 0; base < m; base += 16) {
        Complex4 c[4];
        for (int b = 0; b < 4; ++b) c[b] = loadComplex(re, im, base + 4 * b);
        simd::transpose(c[0].re, c[1].re, c[2].re, c[3].re);
        simd::transpose(c[0].im, c[1].im, c[2].im, c[3].im);
        Complex4 y[4];
        dft4(c[0], c[1], c[2], c[3], y[0], y[1], y[2], y[3]);
        for (int j = 0; j < 4; ++j) storeComplex(re, im, base + 4 * j, y[j]);
    }
}

void finalInverse(float* re, float* im, int m) noexcept
{
    for (int base = 0; base < m; base += 16) {
        Complex4 a[4];
        idft4(loadComplex(re, im, base), loadComplex(re, im, base + 4), loadComplex(re, im, base + 8),
              loadComplex(re, im, base + 12), a[0], a[1], a[2], a[3]);
        simd::transpose(a[0].re, a[1].re, a[2].re, a[3].re);
        simd::transpose(a[0].im, a[1].im, a[2].im, a[3].im);
        for (int b = 0; b < 4; ++b) storeComplex(re, im, base + 4 * b, a[b]);
    }
}

// Bins of a split spectrum in natural order (real parts, then imaginary).
template <typename T>
struct NaturalBins {
    T* re;
    T* im;
    void get(int k, float& r, float& i) const noexcept { r = re[k], i = im[k]; }
    void set(int k, float r, float i) const noexcept { re[k] = r, im[k] = i; }
    // Bins k..k+3, and bins top, top-1, top-2, top-3.
    Complex4 get4(int k) const noexcept { return {simd::loadUnaligned(re + k), simd::loadUnaligned(im + k)}; }
    Complex4 get4Down(int top) const noexcept
    {
        return {simd::reversed(simd::loadUnaligned(re + top - 3)),
                simd::reversed(simd::loadUnaligned(im + top - 3))};
    }
    void set4(int k, Complex4 v) const noexcept
    {
        simd::storeUnaligned(re + k, v.re);
        simd::storeUnaligned(im + k, v.im);
    }
    void set4Down(int top, Complex4 v) const noexcept
    {
        simd::storeUnaligned(re + top - 3, simd::reversed(v.re));
        simd::storeUnaligned(im + top - 3, simd::reversed(v.im));
    }
};

// The work arrays as the stages leave them: bin k sits at position[k].
// Reading and writing through the table replaces a separate reordering pass.
struct PermutedBins {
    float* re;
    float* im;
    const int* position;
    void get(int k, float& r, float& i) const noexcept { r = re[position[k]], i = im[position[k]]; }
    void set(int k, float r, float i) const noexcept { re[position[k]] = r, im[position[k]] = i; }
    Complex4 gather(int k, int step) const noexcept
    {
        const int p0 = position[k], p1 = position[k + step], p2 = position[k + 2 * step],
                  p3 = position[k + 3 * step];
        return {Float4{re[p0], re[p1], re[p2], re[p3]}, Float4{im[p0], im[p1], im[p2], im[p3]}};
    }
    void scatter(int k, int step, Complex4 v) const noexcept
    {
        // Lanes leave through shuffles, not through a spill to the stack, whose
        // scalar reloads stall on store forwarding.
        const int p0 = position[k], p1 = position[k + step], p2 = position[k + 2 * step],
                  p3 = position[k + 3 * step];
        re[p0] = v.re[0];
        im[p0] = v.im[0];
        re[p1] = __builtin_shuffle(v.re, simd::Int4{1, 1, 1, 1})[0];
        im[p1] = __builtin_shuffle(v.im, simd::Int4{1, 1, 1, 1})[0];
        re[p2] = __builtin_shuffle(v.re, simd::Int4{2, 2, 2, 2})[0];
        im[p2] = __builtin_shuffle(v.im, simd::Int4{2, 2, 2, 2})[0];
        re[p3] = __builtin_shuffle(v.re, simd::Int4{3, 3, 3, 3})[0];
        im[p3] = __builtin_shuffle(v.im, simd::Int4{3, 3, 3, 3})[0];
    }
    Complex4 get4(int k) const noexcept { return gather(k, 1); }
    Complex4 get4Down(int top) const noexcept { return gather(top, -1); }
    void set4(int k, Complex4 v) const noexcept { scatter(k, 1, v); }
    void set4Down(int top, Complex4 v) const noexcept { scatter(top, -1, v); }
};

// Runs `pair` on bins k and M-k for 1 <= k < M/2 (scalars for k < 4, then
// four at a time), reading through `in` and writing through `out`.
template <typename In, typename Out, typename Pair>
void forEachMirroredPair(const In& in, const Out& out, int m, const float* cosines, const float* sines,
                         Pair pair) noexcept
{
    const int half = m / 2;
    for (int k = 1; k < 4 && k < half; ++k) {
        float rk, ik, rm, im, a, b, c, d;
        in.get(k, rk, ik);
        in.get(m - k, rm, im);
        pair(rk, ik, rm, im, cosines[k], sines[k], a, b, c, d);
        out.set(k, a, b);
        out.set(m - k, c, d);
    }
    for (int k = 4; k < half; k += 4) {
        const Complex4 zk = in.get4(k), zm = in.get4Down(m - k);
        Complex4 xk, xm;
        pair(zk.re, zk.im, zm.re, zm.im, simd::loadUnaligned(cosines + k), simd::loadUnaligned(sines + k),
             xk.re, xk.im, xm.re, xm.im);
        out.set4(k, xk);
        out.set4Down(m - k, xm);
    }
}

}  // namespace

namespace wide {
bool available() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
}  // namespace wide

FftPlan::FftPlan(int size, bool allowWide)
    : wide_(allowWide && wide::available()),
      n_(size),
      m_(size / 2),
      work_(size + workPadding),
      stageTwiddles_(3 * size),
      realCos_(size / 4 + 4),
      realSin_(size / 4 + 4),
      positionOf_(size / 2),
      frequencyAt_(size / 2)
{
    buildStages();
    buildOrder();
    product_ = std::make_unique<PackedProduct>(size, imaginaryOffset(), positionOf_.data(), wide_);
    for (int k = 0; k <= m_ / 2; ++k) {
        realCos_[k] = static_cast<float>(std::cos(twoPi * k / n_));
        realSin_[k] = static_cast<float>(std::sin(twoPi * k / n_));
    }
}

void FftPlan::buildStages()
{
    float* tw = stageTwiddles_.data();
    int block = m_;
    while (block >= 8) {
        Stage& s = stages_[stageCount_++];
        s.radix = block >= 16 ? 4 : 2;
        s.quarter = block / s.radix;
        s.twiddles = tw;
        const int q = s.quarter;
        for (int j = 1; j < s.radix; ++j) {
            for (int k = 0; k < q; ++k) {
                const double angle = -twoPi * j * k / block;
                tw[(2 * j - 2) * q + k] = static_cast<float>(std::cos(angle));
                tw[(2 * j - 1) * q + k] = static_cast<float>(std::sin(angle));
            }
        }
        tw += 2 * (s.radix - 1) * q;
        block = q;
    }
}

// Follows every position through the stages: a block holding the frequencies
// offset + stride*f splits into sub-blocks j holding offset + stride*j +
// (stride*radix)*f'.
void FftPlan::buildOrder()
{
    std::vector<int> offset(m_, 0), stride(m_, 1);
    for (int s = 0; s < stageCount_; ++s) {
        const int radix = stages_[s].radix, q = stages_[s].quarter;
        for (int base = 0; base < m_; base += radix * q) {
            for (int j = 0; j < radix; ++j) {
                for (int k = 0; k < q; ++k) {
                    const int p = base + j * q + k;
                    offset[p] += stride[p] * j;
                    stride[p] *= radix;
                }
            }
        }
    }
    for (int base = 0; base < m_; base += 16) {
        for (int b = 0; b < 4; ++b) {
            for (int j = 0; j < 4; ++j) {
                const int frequency = offset[base + 4 * b] + stride[base + 4 * b] * j;
                positionOf_[frequency] = base + 4 * j + b;
                frequencyAt_[base + 4 * j + b] = frequency;
            }
        }
    }
}

// The block size from stage s on: the whole array where it fits in the cache
// (one call per stage rather than one per small block), else stage s's block.
int FftPlan::cachedBlock(int s) const noexcept
{
    if (m_ <= cacheBlock || s >= stageCount_) return m_;
    return stages_[s].radix * stages_[s].quarter;
}

// Stages on blocks larger than the cache-friendly size run across the whole
// array; below it, each block is taken through all its remaining stages before
// the next one, so that it stays in the first-level cache.

void FftPlan::runStagesForward() noexcept
{
    float *re = work_.data(), *im = re + imaginaryOffset();
    int s = 1;  // stage 0 ran while the input was read
    for (; s < stageCount_ && stages_[s].radix * stages_[s].quarter > cacheBlock; ++s)
        runStage(s, re, im, m_, false);
    const int block = cachedBlock(s);
    for (int base = 0; base < m_; base += block) {
        for (int t = s; t < stageCount_; ++t) runStage(t, re + base, im + base, block, false);
        finalForward(re + base, im + base, block);
    }
}

void FftPlan::runStagesInverse() noexcept
{
    float *re = work_.data(), *im = re + imaginaryOffset();
    int s = 1;  // stage 0 runs while the output is written
    while (s < stageCount_ && stages_[s].radix * stages_[s].quarter > cacheBlock) ++s;
    const int block = cachedBlock(s);
    for (int base = 0; base < m_; base += block) {
        finalInverse(re + base, im + base, block);
        for (int t = stageCount_ - 1; t >= s; --t) runStage(t, re + base, im + base, block, true);
    }
    for (int t = s - 1; t >= 1; --t) runStage(t, re, im, m_, true);
}

void FftPlan::runStage(int s, float* re, float* im, int length, bool inverse) const noexcept
{
    const Stage& st = stages_[s];
    if (st.radix == 4 && wide_ && st.quarter % 8 == 0)
        (inverse ? wide::radix4Inverse : wide::radix4Forward)(re, im, length, st.quarter, st.twiddles);
    else if (st.radix == 4)
        (inverse ? radix4Inverse : radix4Forward)(re, im, length, st.quarter, st.twiddles);
    else
        (inverse ? radix2Inverse : radix2Forward)(re, im, length, st.quarter, st.twiddles);
}

void FftPlan::forward(const float* in, float* out) noexcept
{
    forwardPacked(in);
    untangle(out);
}

void FftPlan::inverse(const float* in, float* out) noexcept
{
    tangle(in, out);
    inversePacked(out);
}

void FftPlan::forwardPacked(const float* in) noexcept
{
    float *re = work_.data(), *im = re + imaginaryOffset();
    (wide_ ? wide::radix4ForwardFromInterleaved : radix4ForwardFromInterleaved)(in, re, im, m_,
                                                                                stages_[0].twiddles);
    runStagesForward();
}

void FftPlan::multiplyPacked(const float* h, float* kept) noexcept
{
    product_->multiply(work_.data(), work_.data() + imaginaryOffset(), h, kept);
}

void FftPlan::multiplyAddKept(const float* now, const float* before, const float* hNow,
                              const float* hBefore) noexcept
{
    // Nothing is written through `now` when it is given.
    product_->multiplyAdd(work_.data(), work_.data() + imaginaryOffset(), const_cast<float*>(now), before,
                          hNow, hBefore, true);
}

void FftPlan::multiplyAddPacked(float* now, const float* before, const float* hNow,
                                const float* hBefore) noexcept
{
    product_->multiplyAdd(work_.data(), work_.data() + imaginaryOffset(), now, before, hNow, hBefore);
}

void FftPlan::inversePacked(float* out) noexcept
{
    runStagesInverse();
    float *re = work_.data(), *im = re + imaginaryOffset();
    (wide_ ? wide::radix4InverseToInterleaved : radix4InverseToInterleaved)(re, im, out, m_,
                                                                            stages_[0].twiddles);
}

// Z = transform of the even/odd packed signal, read from the work arrays.
// X[k] = (Z[k] + conj Z[M-k])/2 + W^k (Z[k] - conj Z[M-k])/(2i) with
// W = e^{-2 pi i/N}; X[M-k] = conj(Xe - W^k Xo).
void FftPlan::untangle(float* out) noexcept
{
    const int m = m_, half = m_ / 2;
    const PermutedBins z{work_.data(), work_.data() + imaginaryOffset(), positionOf_.data()};
    auto pair = [&](auto rk, auto ik, auto rm, auto im2, auto c, auto sn, auto& outRk, auto& outIk,
                    auto& outRm, auto& outIm) {
        const auto xer = (rk + rm) * 0.5f, xei = (ik - im2) * 0.5f;
        const auto xor_ = (ik + im2) * 0.5f, xoi = (rm - rk) * 0.5f;
        const auto tr = c * xor_ + sn * xoi, ti = c * xoi - sn * xor_;
        outRk = xer + tr;
        outIk = xei + ti;
        outRm = xer - tr;
        outIm = ti - xei;
    };
    forEachMirroredPair(z, NaturalBins<float>{out, out + m}, m, realCos_.data(), realSin_.data(), pair);
    float z0r, z0i, hr, hi;
    z.get(0, z0r, z0i);
    z.get(half, hr, hi);
    out[0] = z0r + z0i;
    out[m] = z0r - z0i;  // the Nyquist term's slot
    out[half] = hr;
    out[m + half] = -hi;
}

// The inverse of untangle, doubled (Z' = 2Z, so the unnormalised inverse
// complex transform of M points yields N times the signal), in the order the
// inverse stages expect. Large transforms untangle in natural order into the
// caller's output buffer first (in place is fine: each mirrored pair is read
// before it is written) and then gather into the work arrays: scattered
// loads are cheap where scattered stores beyond the first-level cache are not.
void FftPlan::tangle(const float* x, float* scratch) noexcept
{
    if (m_ <= scatterLimit) {
        tangleByPairs(x, PermutedBins{work_.data(), work_.data() + imaginaryOffset(), positionOf_.data()});
        return;
    }
    const int m = m_;
    tangleByPairs(x, NaturalBins<float>{scratch, scratch + m});
    float *re = work_.data(), *im = re + imaginaryOffset();
    const float *zr = scratch, *zi = scratch + m;
    const int* frequency = frequencyAt_.data();
    for (int p = 0; p < m; p += 4) {
        const int k0 = frequency[p], k1 = frequency[p + 1], k2 = frequency[p + 2], k3 = frequency[p + 3];
        store(re + p, Float4{zr[k0], zr[k1], zr[k2], zr[k3]});
        store(im + p, Float4{zi[k0], zi[k1], zi[k2], zi[k3]});
    }
}

template <typename Bins>
void FftPlan::tangleByPairs(const float* x, const Bins& z) noexcept
{
    const int m = m_, half = m_ / 2;
    auto pair = [&](auto rk, auto ik, auto rm, auto im2, auto c, auto sn, auto& outRk, auto& outIk,
                    auto& outRm, auto& outIm) {
        const auto er = rk + rm, ei = ik - im2;
        const auto dr = rk - rm, di = ik + im2;
        const auto or_ = dr * c - di * sn, oi = dr * sn + di * c;
        outRk = er - oi;
        outIk = ei + or_;
        outRm = er + oi;
        outIm = or_ - ei;
    };
    // The two special bins are read before the pairs may overwrite x.
    const float dc = x[0], nyquist = x[m], middleRe = x[half], middleIm = x[m + half];
    forEachMirroredPair(NaturalBins<const float>{x, x + m}, z, m, realCos_.data(), realSin_.data(), pair);
    z.set(0, dc + nyquist, dc - nyquist);
    z.set(half, 2.0f * middleRe, -2.0f * middleIm);
}

}  // namespace valvora
