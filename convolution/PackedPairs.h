#pragma once
// The pair loop of PackedProduct, written once for the baseline and for
// processors with AVX2 and FMA (FftWideKernels.cpp compiles it with those).
// As with FftPasses.h, a source instantiates everything here with access types
// declared in its own unnamed namespace, so that no AVX-encoded instantiation
// can be shared with baseline code. An access type A provides:
//   A::T (a vector of four floats, or float);
//   A::at / A::put: the value(s) at position p of a buffer;
//   A::mirrorAt / A::putMirror: the same in reverse lane order.
// V is the source's vector access, S its scalar one.

namespace valvora::packedpairs {

// PackedProduct's tables, by pointer (see its members).
struct Tables {
    const float* cosines;
    const float* sines;
    const int* vectorPairs;
    int vectorPairCount;
    const int* scalarPairs;
    int scalarPairCount;
    int zeroPosition;
    int middlePosition;
    int imaginaryOffset;
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

// X·h; with `keep`, X is also stored (packed) for an accumulating product
// that starts from it.
template <typename S, bool keep>
struct Single {
    const float *hr, *hi;
    float *keptRe, *keptIm;
    template <typename A>
    [[gnu::always_inline]] inline Bin<A> complex(int p, bool mirror, Bin<A> x) const noexcept
    {
        if constexpr (keep) putBin<A>(keptRe, keptIm, p, mirror, x);
        return times(x, binAt<A>(hr, hi, p, mirror));
    }
    [[gnu::always_inline]] inline Bin<S> lanewise(int p, Bin<S> x) const noexcept
    {
        if constexpr (keep) {
            keptRe[p] = x.re;
            keptIm[p] = x.im;
        }
        return {x.re * hr[p], x.im * hi[p]};
    }
};

// X·h + before·g, storing X to `now`; or, with `given`, taking X from `now`
// (stored there by a Single that kept it), where the transformed input is
// then never read and the untangling drops out.
template <typename S, bool given>
struct Accumulating {
    float *nowRe, *nowIm;
    const float *beforeRe, *beforeIm, *hr, *hi, *gr, *gi;
    template <typename A>
    [[gnu::always_inline]] inline Bin<A> complex(int p, bool mirror, Bin<A> x) const noexcept
    {
        if constexpr (given)
            x = binAt<A>(nowRe, nowIm, p, mirror);
        else
            putBin<A>(nowRe, nowIm, p, mirror, x);
        const auto a = times(x, binAt<A>(hr, hi, p, mirror));
        const auto b = times(binAt<A>(beforeRe, beforeIm, p, mirror), binAt<A>(gr, gi, p, mirror));
        return {a.re + b.re, a.im + b.im};
    }
    [[gnu::always_inline]] inline Bin<S> lanewise(int p, Bin<S> x) const noexcept
    {
        if constexpr (given) {
            x = {nowRe[p], nowIm[p]};
        } else {
            nowRe[p] = x.re;
            nowIm[p] = x.im;
        }
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

template <typename V, typename S, typename Step>
void run(const Tables& t, float* re, float* im, const Step& step) noexcept
{
    const int* pairs = t.vectorPairs;
    for (int i = 0; i < t.vectorPairCount; ++i)
        mirroredPair<V>(re, im, t.cosines, t.sines, pairs[2 * i], pairs[2 * i + 1], step);
    pairs = t.scalarPairs;
    for (int i = 0; i < t.scalarPairCount; ++i)
        mirroredPair<S>(re, im, t.cosines, t.sines, pairs[2 * i], pairs[2 * i + 1], step);

    // Bin 0: twice the DC and Nyquist terms, then the tangled product.
    const int z = t.zeroPosition;
    const Bin<S> dcNyquist = step.lanewise(z, {2.0f * (re[z] + im[z]), 2.0f * (re[z] - im[z])});
    re[z] = dcNyquist.re + dcNyquist.im;
    im[z] = dcNyquist.re - dcNyquist.im;
    // Bin M/2: X = conj Z there.
    const int h = t.middlePosition;
    const Bin<S> middle = step.template complex<S>(h, false, {2.0f * re[h], -2.0f * im[h]});
    re[h] = 2.0f * middle.re;
    im[h] = -2.0f * middle.im;
}

// kept: null, or where X goes.
template <typename V, typename S>
void multiply(const Tables& t, float* re, float* im, const float* h, float* kept) noexcept
{
    const int o = t.imaginaryOffset;
    if (kept)
        run<V, S>(t, re, im, Single<S, true>{h, h + o, kept, kept + o});
    else
        run<V, S>(t, re, im, Single<S, false>{h, h + o, nullptr, nullptr});
}

template <typename V, typename S>
void multiplyAdd(const Tables& t, float* re, float* im, float* now, const float* before, const float* hNow,
                 const float* hBefore, bool nowGiven) noexcept
{
    const int o = t.imaginaryOffset;
    if (nowGiven)
        run<V, S>(
            t, re, im,
            Accumulating<S, true>{now, now + o, before, before + o, hNow, hNow + o, hBefore, hBefore + o});
    else
        run<V, S>(
            t, re, im,
            Accumulating<S, false>{now, now + o, before, before + o, hNow, hNow + o, hBefore, hBefore + o});
}

}  // namespace valvora::packedpairs
