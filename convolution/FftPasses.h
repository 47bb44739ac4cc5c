#pragma once
// The radix-4 passes of FftPlan, written once for any vector width. A source
// instantiates them with a lane type of its own, declared in its unnamed
// namespace; every template here depends on it, so the instantiations stay
// inside that source and passes compiled for AVX2 (FftWideKernels.cpp) can
// never be merged with the baseline's (FftPlan.cpp). A lane type L provides:
//   L::Vector, L::width;
//   L::load / L::store (our aligned buffers), L::loadUnaligned / L::storeUnaligned;
//   L::evenOdd(a, b, even, odd): the even and the odd elements of a then b;
//   L::interleave(re, im, low, high): re0 im0 re1 im1 ... spread over low, high.

namespace valvora::fftpasses {

template <typename L>
struct Complex {
    typename L::Vector re, im;
};

template <typename L>
inline Complex<L> operator+(Complex<L> a, Complex<L> b) noexcept
{
    return {a.re + b.re, a.im + b.im};
}
template <typename L>
inline Complex<L> operator-(Complex<L> a, Complex<L> b) noexcept
{
    return {a.re - b.re, a.im - b.im};
}
template <typename L, typename V = typename L::Vector>
inline Complex<L> times(Complex<L> a, V wr, V wi) noexcept
{
    return {a.re * wr - a.im * wi, a.re * wi + a.im * wr};
}
template <typename L, typename V = typename L::Vector>
inline Complex<L> timesConjugate(Complex<L> a, V wr, V wi) noexcept
{
    return {a.re * wr + a.im * wi, a.im * wr - a.re * wi};
}

// Four-point DFT of a0..a3 (kernel e^{-2 pi i lj/4}) into y0..y3.
template <typename L>
inline void dft4(Complex<L> a0, Complex<L> a1, Complex<L> a2, Complex<L> a3, Complex<L>& y0, Complex<L>& y1,
                 Complex<L>& y2, Complex<L>& y3) noexcept
{
    const Complex<L> s02 = a0 + a2, d02 = a0 - a2, s13 = a1 + a3, e13 = a1 - a3;
    const Complex<L> d13{e13.im, -e13.re};  // times -i
    y0 = s02 + s13;
    y1 = d02 + d13;
    y2 = s02 - s13;
    y3 = d02 - d13;
}

// The adjoint four-point DFT (kernel e^{+2 pi i lj/4}).
template <typename L>
inline void idft4(Complex<L> u0, Complex<L> u1, Complex<L> u2, Complex<L> u3, Complex<L>& a0, Complex<L>& a1,
                  Complex<L>& a2, Complex<L>& a3) noexcept
{
    const Complex<L> s02 = u0 + u2, d02 = u0 - u2, s13 = u1 + u3, e13 = u1 - u3;
    const Complex<L> d13{-e13.im, e13.re};  // times i
    a0 = s02 + s13;
    a1 = d02 + d13;
    a2 = s02 - s13;
    a3 = d02 - d13;
}

template <typename L>
inline Complex<L> loadAt(const float* re, const float* im, int k) noexcept
{
    return {L::load(re + k), L::load(im + k)};
}
template <typename L>
inline void storeAt(float* re, float* im, int k, Complex<L> v) noexcept
{
    L::store(re + k, v.re);
    L::store(im + k, v.im);
}

// One stage's twiddles: w^j for j = 1..3, real parts then imaginary parts,
// q values each.
template <typename L>
struct StageTwiddles {
    const float* t;
    int q;
    Complex<L> scale(int j, int k, Complex<L> a, bool conjugate) const noexcept
    {
        const auto wr = L::load(t + (2 * j - 2) * q + k), wi = L::load(t + (2 * j - 1) * q + k);
        return conjugate ? timesConjugate(a, wr, wi) : times(a, wr, wi);
    }
};

// Radix-4 decimation in frequency over blocks of 4q points, in place.
template <typename L>
void radix4Forward(float* re, float* im, int m, int q, const float* twiddles) noexcept
{
    using C = Complex<L>;
    const StageTwiddles<L> w{twiddles, q};
    auto at = loadAt<L>;
    auto put = storeAt<L>;
    for (int base = 0; base < m; base += 4 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += L::width) {
            C y0, y1, y2, y3;
            dft4(at(r, i, k), at(r, i, k + q), at(r, i, k + 2 * q), at(r, i, k + 3 * q), y0, y1, y2, y3);
            put(r, i, k, y0);
            put(r, i, k + q, w.scale(1, k, y1, false));
            put(r, i, k + 2 * q, w.scale(2, k, y2, false));
            put(r, i, k + 3 * q, w.scale(3, k, y3, false));
        }
    }
}

template <typename L>
void radix4Inverse(float* re, float* im, int m, int q, const float* twiddles) noexcept
{
    using C = Complex<L>;
    const StageTwiddles<L> w{twiddles, q};
    auto at = loadAt<L>;
    auto put = storeAt<L>;
    for (int base = 0; base < m; base += 4 * q) {
        float *r = re + base, *i = im + base;
        for (int k = 0; k < q; k += L::width) {
            C a0, a1, a2, a3;
            idft4(at(r, i, k), w.scale(1, k, at(r, i, k + q), true), w.scale(2, k, at(r, i, k + 2 * q), true),
                  w.scale(3, k, at(r, i, k + 3 * q), true), a0, a1, a2, a3);
            put(r, i, k, a0);
            put(r, i, k + q, a1);
            put(r, i, k + 2 * q, a2);
            put(r, i, k + 3 * q, a3);
        }
    }
}

// Stage 0 straight from the caller's interleaved real samples (even samples
// as real parts, odd ones as imaginary parts), saving a separate pass.
template <typename L>
void radix4ForwardFromInterleaved(const float* in, float* re, float* im, int m,
                                  const float* twiddles) noexcept
{
    using C = Complex<L>;
    const int q = m / 4;
    const StageTwiddles<L> w{twiddles, q};
    auto fetch = [in](int i) {
        C v;
        L::evenOdd(L::loadUnaligned(in + 2 * i), L::loadUnaligned(in + 2 * i + L::width), v.re, v.im);
        return v;
    };
    auto put = [re, im](int k, C v) { storeAt<L>(re, im, k, v); };
    for (int k = 0; k < q; k += L::width) {
        C y0, y1, y2, y3;
        dft4(fetch(k), fetch(k + q), fetch(k + 2 * q), fetch(k + 3 * q), y0, y1, y2, y3);
        put(k, y0);
        put(k + q, w.scale(1, k, y1, false));
        put(k + 2 * q, w.scale(2, k, y2, false));
        put(k + 3 * q, w.scale(3, k, y3, false));
    }
}

// The adjoint of stage 0, writing interleaved real samples to the caller.
template <typename L>
void radix4InverseToInterleaved(const float* re, const float* im, float* out, int m,
                                const float* twiddles) noexcept
{
    using C = Complex<L>;
    const int q = m / 4;
    const StageTwiddles<L> w{twiddles, q};
    auto at = [re, im](int k) { return loadAt<L>(re, im, k); };
    auto put = [out](int i, C v) {
        typename L::Vector low, high;
        L::interleave(v.re, v.im, low, high);
        L::storeUnaligned(out + 2 * i, low);
        L::storeUnaligned(out + 2 * i + L::width, high);
    };
    for (int k = 0; k < q; k += L::width) {
        C a0, a1, a2, a3;
        idft4(at(k), w.scale(1, k, at(k + q), true), w.scale(2, k, at(k + 2 * q), true),
              w.scale(3, k, at(k + 3 * q), true), a0, a1, a2, a3);
        put(k, a0);
        put(k + q, a1);
        put(k + 2 * q, a2);
        put(k + 3 * q, a3);
    }
}

}  // namespace valvora::fftpasses
