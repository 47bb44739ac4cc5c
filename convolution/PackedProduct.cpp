#include "convolution/PackedProduct.h"

#include <cmath>
#include <vector>

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

// Templated on the access, not on its vector type, whose attributes a
// template argument would drop.
template <typename A>
struct Bin {
    typename A::T re, im;
};

// The helpers below are forced inline: a step's products return bins of two
// vectors, which an out-of-line call passes through memory.
template <typename A>
[[gnu::always_inline]] inline Bin<A> times(Bin<A> a, Bin<A> b) noexcept
{
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// A packed buffer's bin at position p (or the mirror vector at p).
template <typename A>
[[gnu::always_inline]] inline Bin<A> binAt(const float* re, const float* im, int p, bool mirror) noexcept
{
    return mirror ? Bin<A>{A::mirrorAt(re, p), A::mirrorAt(im, p)} : Bin<A>{A::at(re, p), A::at(im, p)};
}

template <typename A>
[[gnu::always_inline]] inline void putBin(float* re, float* im, int p, bool mirror, Bin<A> v) noexcept
{
    if (mirror) {
        A::putMirror(re, p, v.re);
        A::putMirror(im, p, v.im);
    } else {
        A::put(re, p, v.re);
        A::put(im, p, v.im);
    }
}

struct Single {
    const float *hr, *hi;
    template <typename A>
    [[gnu::always_inline]] inline Bin<A> complex(int p, bool mirror, Bin<A> x) const noexcept
    {
        return times(x, binAt<A>(hr, hi, p, mirror));
    }
    [[gnu::always_inline]] inline Bin<ScalarAccess> lanewise(int p, Bin<ScalarAccess> x) const noexcept
    {
        return {x.re * hr[p], x.im * hi[p]};
    }
};

struct Accumulating {
    float *nowRe, *nowIm;
    const float *beforeRe, *beforeIm, *hr, *hi, *gr, *gi;
    template <typename A>
    [[gnu::always_inline]] inline Bin<A> complex(int p, bool mirror, Bin<A> x) const noexcept
    {
        putBin<A>(nowRe, nowIm, p, mirror, x);
        const auto a = times(x, binAt<A>(hr, hi, p, mirror));
        const auto b = times(binAt<A>(beforeRe, beforeIm, p, mirror), binAt<A>(gr, gi, p, mirror));
        return {a.re + b.re, a.im + b.im};
    }
    [[gnu::always_inline]] inline Bin<ScalarAccess> lanewise(int p, Bin<ScalarAccess> x) const noexcept
    {
        nowRe[p] = x.re;
        nowIm[p] = x.im;
        return {x.re * hr[p] + beforeRe[p] * gr[p], x.im * hi[p] + beforeIm[p] * gi[p]};
    }
};

// Bins k (at p) and M-k (at q): untangle Z into twice the real spectrum,
// X[k] = Z+ + W^k Z-/i and X[M-k] = conj(Z+ - W^k Z-/i) with Z+ = Z[k] +
// conj Z[M-k], Z- = Z[k] - conj Z[M-k], W = e^{-2 pi i/N}; take the product;
// tangle it back (the inverse formulas, which double: the inverse complex
// passes then give N times the signal).
template <typename A, typename Step>
[[gnu::always_inline]] inline void mirroredPair(float* re, float* im, const float* cosines,
                                                const float* sines, int p, int q, const Step& step) noexcept
{
    using T = typename A::T;
    const Bin<A> zk = binAt<A>(re, im, p, false), zm = binAt<A>(re, im, q, true);
    const T c = A::at(cosines, p), s = A::at(sines, p);
    const T er = zk.re + zm.re, ei = zk.im - zm.im;
    const T odr = zk.im + zm.im, odi = zm.re - zk.re;
    const T tr = c * odr + s * odi, ti = c * odi - s * odr;
    const Bin<A> pk = step.template complex<A>(p, false, Bin<A>{er + tr, ei + ti});
    const Bin<A> pm = step.template complex<A>(q, true, Bin<A>{er - tr, ti - ei});
    const T sr = pk.re + pm.re, si = pk.im - pm.im;
    const T dr = pk.re - pm.re, di = pk.im + pm.im;
    const T orr = dr * c - di * s, ori = dr * s + di * c;
    putBin<A>(re, im, p, false, Bin<A>{sr - ori, si + orr});
    putBin<A>(re, im, q, true, Bin<A>{sr + ori, orr - si});
}

}  // namespace

PackedProduct::PackedProduct(int size, int imaginaryOffset, const int* positionOf)
    : m_(size / 2),
      imaginaryOffset_(imaginaryOffset),
      zeroPosition_(positionOf[0]),
      middlePosition_(positionOf[size / 4]),
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
    std::vector<bool> inVector(m, false);
    for (int p = 0; p < m; p += 4) {
        const int q = mirrorOf(p + 3);
        bool reversed = q % 4 == 0 && q != p;
        for (int l = 0; l < 4; ++l) reversed = reversed && mirrorOf(p + l) == q + 3 - l;
        if (!reversed) continue;
        for (int l = 0; l < 4; ++l) inVector[p + l] = true;
        if (p < q) {
            vectorPairs_[2 * vectorPairCount_] = p;
            vectorPairs_[2 * vectorPairCount_ + 1] = q;
            ++vectorPairCount_;
        }
    }
    for (int k = 1; k < m / 2; ++k) {
        const int p = positionOf[k];
        if (inVector[p]) continue;
        scalarPairs_[2 * scalarPairCount_] = p;
        scalarPairs_[2 * scalarPairCount_ + 1] = positionOf[m - k];
        ++scalarPairCount_;
    }
}

void PackedProduct::pack(const float* spectrum, float* packed) const noexcept
{
    const int m = m_;
    float *re = packed, *im = packed + imaginaryOffset_;
    // The DC and Nyquist terms share bin 0's slot.
    re[zeroPosition_] = 0.5f * spectrum[0];
    im[zeroPosition_] = 0.5f * spectrum[m];
    for (int k = 1; k < m; ++k) {
        const int p = positionOf_[k];
        re[p] = 0.5f * spectrum[k];
        im[p] = 0.5f * spectrum[k + m];
    }
}

template <typename Step>
void PackedProduct::run(float* re, float* im, Step& step) const noexcept
{
    const float *c = cosines_.data(), *s = sines_.data();
    const int* pairs = vectorPairs_.data();
    for (int i = 0; i < vectorPairCount_; ++i)
        mirroredPair<VectorAccess>(re, im, c, s, pairs[2 * i], pairs[2 * i + 1], step);
    pairs = scalarPairs_.data();
    for (int i = 0; i < scalarPairCount_; ++i)
        mirroredPair<ScalarAccess>(re, im, c, s, pairs[2 * i], pairs[2 * i + 1], step);

    // Bin 0: twice the DC and Nyquist terms, then the tangled product.
    const int z = zeroPosition_;
    const Bin<ScalarAccess> dcNyquist = step.lanewise(z, {2.0f * (re[z] + im[z]), 2.0f * (re[z] - im[z])});
    re[z] = dcNyquist.re + dcNyquist.im;
    im[z] = dcNyquist.re - dcNyquist.im;
    // Bin M/2: X = conj Z there.
    const int h = middlePosition_;
    const Bin<ScalarAccess> middle =
        step.template complex<ScalarAccess>(h, false, {2.0f * re[h], -2.0f * im[h]});
    re[h] = 2.0f * middle.re;
    im[h] = -2.0f * middle.im;
}

void PackedProduct::multiply(float* re, float* im, const float* h) const noexcept
{
    Single step{h, h + imaginaryOffset_};
    run(re, im, step);
}

void PackedProduct::multiplyAdd(float* re, float* im, float* now, const float* before, const float* hNow,
                                const float* hBefore) const noexcept
{
    const int o = imaginaryOffset_;
    Accumulating step{now, now + o, before, before + o, hNow, hNow + o, hBefore, hBefore + o};
    run(re, im, step);
}

}  // namespace valvora
