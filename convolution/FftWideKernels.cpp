#include "convolution/FftWideKernels.h"

// Everything here is compiled with -mavx2 -mfma -ffp-contract=fast; helpers
// are static so that no AVX-encoded copy of a shared inline function can
// reach SSE2-only code, and nothing here may run before available() said yes
// (which is why available() lives in FftPlan.cpp).

namespace valvora::wide {

namespace {

typedef float Float8 __attribute__((vector_size(32), may_alias, aligned(4)));
typedef int Int8 __attribute__((vector_size(32)));

struct Complex8 {
    Float8 re, im;
};

static inline Float8 load(const float* p) noexcept
{
    return *reinterpret_cast<const Float8*>(p);
}
static inline void store(float* p, Float8 v) noexcept
{
    *reinterpret_cast<Float8*>(p) = v;
}
static inline Complex8 loadComplex(const float* re, const float* im, int i) noexcept
{
    return {load(re + i), load(im + i)};
}
static inline void storeComplex(float* re, float* im, int i, Complex8 v) noexcept
{
    store(re + i, v.re);
    store(im + i, v.im);
}
static inline Complex8 add(Complex8 a, Complex8 b) noexcept
{
    return {a.re + b.re, a.im + b.im};
}
static inline Complex8 sub(Complex8 a, Complex8 b) noexcept
{
    return {a.re - b.re, a.im - b.im};
}
static inline Complex8 times(Complex8 a, Float8 wr, Float8 wi) noexcept
{
    return {a.re * wr - a.im * wi, a.re * wi + a.im * wr};
}
static inline Complex8 timesConjugate(Complex8 a, Float8 wr, Float8 wi) noexcept
{
    return {a.re * wr + a.im * wi, a.im * wr - a.re * wi};
}

// Four-point DFT (kernel e^{-2 pi i lj/4}) and its adjoint.
static inline void dft4(Complex8 a0, Complex8 a1, Complex8 a2, Complex8 a3, Complex8& y0, Complex8& y1,
                        Complex8& y2, Complex8& y3) noexcept
{
    const Complex8 s02 = add(a0, a2), d02 = sub(a0, a2), s13 = add(a1, a3), e13 = sub(a1, a3);
    const Complex8 d13{e13.im, -e13.re};  // times -i
    y0 = add(s02, s13);
    y1 = add(d02, d13);
    y2 = sub(s02, s13);
    y3 = sub(d02, d13);
}
static inline void idft4(Complex8 u0, Complex8 u1, Complex8 u2, Complex8 u3, Complex8& a0, Complex8& a1,
                         Complex8& a2, Complex8& a3) noexcept
{
    const Complex8 s02 = add(u0, u2), d02 = sub(u0, u2), s13 = add(u1, u3), e13 = sub(u1, u3);
    const Complex8 d13{-e13.im, e13.re};  // times i
    a0 = add(s02, s13);
    a1 = add(d02, d13);
    a2 = sub(s02, s13);
    a3 = sub(d02, d13);
}

struct Twiddles {
    const float *w1r, *w1i, *w2r, *w2i, *w3r, *w3i;
    Twiddles(const float* tw, int q)
        : w1r(tw), w1i(tw + q), w2r(tw + 2 * q), w2i(tw + 3 * q), w3r(tw + 4 * q), w3i(tw + 5 * q)
    {
    }
};

}  // namespace

void radix4Forward(float* re, float* im, int m, int q, const float* tw) noexcept
{
    const Twiddles w(tw, q);
    for (int base = 0; base < m; base += 4 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += 8) {
            Complex8 y0, y1, y2, y3;
            dft4(loadComplex(r, i, k), loadComplex(r, i, k + q), loadComplex(r, i, k + 2 * q),
                 loadComplex(r, i, k + 3 * q), y0, y1, y2, y3);
            storeComplex(r, i, k, y0);
            storeComplex(r, i, k + q, times(y1, load(w.w1r + k), load(w.w1i + k)));
            storeComplex(r, i, k + 2 * q, times(y2, load(w.w2r + k), load(w.w2i + k)));
            storeComplex(r, i, k + 3 * q, times(y3, load(w.w3r + k), load(w.w3i + k)));
        }
    }
}

void radix4Inverse(float* re, float* im, int m, int q, const float* tw) noexcept
{
    const Twiddles w(tw, q);
    for (int base = 0; base < m; base += 4 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += 8) {
            Complex8 a0, a1, a2, a3;
            idft4(loadComplex(r, i, k), timesConjugate(loadComplex(r, i, k + q), load(w.w1r + k), load(w.w1i + k)),
                  timesConjugate(loadComplex(r, i, k + 2 * q), load(w.w2r + k), load(w.w2i + k)),
                  timesConjugate(loadComplex(r, i, k + 3 * q), load(w.w3r + k), load(w.w3i + k)), a0, a1, a2,
                  a3);
            storeComplex(r, i, k, a0);
            storeComplex(r, i, k + q, a1);
            storeComplex(r, i, k + 2 * q, a2);
            storeComplex(r, i, k + 3 * q, a3);
        }
    }
}

void radix4ForwardFromInterleaved(const float* in, float* re, float* im, int m, const float* tw) noexcept
{
    const int q = m / 4;
    const Twiddles w(tw, q);
    auto fetch = [in](int i) {
        const Float8 a = load(in + 2 * i), b = load(in + 2 * i + 8);
        return Complex8{__builtin_shuffle(a, b, Int8{0, 2, 4, 6, 8, 10, 12, 14}),
                        __builtin_shuffle(a, b, Int8{1, 3, 5, 7, 9, 11, 13, 15})};
    };
    for (int k = 0; k < q; k += 8) {
        Complex8 y0, y1, y2, y3;
        dft4(fetch(k), fetch(k + q), fetch(k + 2 * q), fetch(k + 3 * q), y0, y1, y2, y3);
        storeComplex(re, im, k, y0);
        storeComplex(re, im, k + q, times(y1, load(w.w1r + k), load(w.w1i + k)));
        storeComplex(re, im, k + 2 * q, times(y2, load(w.w2r + k), load(w.w2i + k)));
        storeComplex(re, im, k + 3 * q, times(y3, load(w.w3r + k), load(w.w3i + k)));
    }
}

void radix4InverseToInterleaved(const float* re, const float* im, float* out, int m, const float* tw) noexcept
{
    const int q = m / 4;
    const Twiddles w(tw, q);
    auto put = [out](int i, Complex8 v) {
        store(out + 2 * i, __builtin_shuffle(v.re, v.im, Int8{0, 8, 1, 9, 2, 10, 3, 11}));
        store(out + 2 * i + 8, __builtin_shuffle(v.re, v.im, Int8{4, 12, 5, 13, 6, 14, 7, 15}));
    };
    for (int k = 0; k < q; k += 8) {
        Complex8 a0, a1, a2, a3;
        idft4(loadComplex(re, im, k), timesConjugate(loadComplex(re, im, k + q), load(w.w1r + k), load(w.w1i + k)),
              timesConjugate(loadComplex(re, im, k + 2 * q), load(w.w2r + k), load(w.w2i + k)),
              timesConjugate(loadComplex(re, im, k + 3 * q), load(w.w3r + k), load(w.w3i + k)), a0, a1, a2, a3);
        put(k, a0);
        put(k + q, a1);
        put(k + 2 * q, a2);
        put(k + 3 * q, a3);
    }
}

}  // namespace valvora::wide
