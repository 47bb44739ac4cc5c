#include "convolution/FftWideKernels.h"

#include "convolution/FftPasses.h"
#include "convolution/PackedPairs.h"

// Everything here is compiled with -mavx2 -mfma -ffp-contract=fast. The
// passes are instantiated with this source's own lane type (see FftPasses.h),
// so no AVX-encoded copy of a shared function can reach baseline code, and
// nothing here may run before available() said yes (which is why available()
// lives in FftPlan.cpp).

namespace valvora::wide {

namespace {

typedef float Float8 __attribute__((vector_size(32), may_alias, aligned(4)));
typedef int Int8 __attribute__((vector_size(32)));
typedef float Float4 __attribute__((vector_size(16), may_alias));
typedef int Int4 __attribute__((vector_size(16)));

struct WideLanes {
    using Vector = Float8;
    static constexpr int width = 8;
    static Float8 load(const float* p) noexcept { return *reinterpret_cast<const Float8*>(p); }
    static void store(float* p, Float8 v) noexcept { *reinterpret_cast<Float8*>(p) = v; }
    static Float8 loadUnaligned(const float* p) noexcept { return load(p); }
    static void storeUnaligned(float* p, Float8 v) noexcept { store(p, v); }
    static void evenOdd(Float8 a, Float8 b, Float8& even, Float8& odd) noexcept
    {
        even = __builtin_shuffle(a, b, Int8{0, 2, 4, 6, 8, 10, 12, 14});
        odd = __builtin_shuffle(a, b, Int8{1, 3, 5, 7, 9, 11, 13, 15});
    }
    static void interleave(Float8 re, Float8 im, Float8& low, Float8& high) noexcept
    {
        low = __builtin_shuffle(re, im, Int8{0, 8, 1, 9, 2, 10, 3, 11});
        high = __builtin_shuffle(re, im, Int8{4, 12, 5, 13, 6, 14, 7, 15});
    }
};

// The packed products' accesses (see PackedPairs.h), written out here rather
// than taken from SimdFloat.h, whose inline functions the baseline shares.
struct PairVectorAccess {
    using T = Float4;
    static T at(const float* b, int p) noexcept { return *reinterpret_cast<const Float4*>(b + p); }
    static T mirrorAt(const float* b, int p) noexcept
    {
        return __builtin_shuffle(at(b, p), Int4{3, 2, 1, 0});
    }
    static void put(float* b, int p, T v) noexcept { *reinterpret_cast<Float4*>(b + p) = v; }
    static void putMirror(float* b, int p, T v) noexcept
    {
        put(b, p, __builtin_shuffle(v, Int4{3, 2, 1, 0}));
    }
};

struct PairScalarAccess {
    using T = float;
    static T at(const float* b, int p) noexcept { return b[p]; }
    static T mirrorAt(const float* b, int p) noexcept { return b[p]; }
    static void put(float* b, int p, T v) noexcept { b[p] = v; }
    static void putMirror(float* b, int p, T v) noexcept { b[p] = v; }
};

}  // namespace

void packedMultiply(const packedpairs::Tables& tables, float* re, float* im, const float* h,
                    float* kept) noexcept
{
    packedpairs::multiply<PairVectorAccess, PairScalarAccess>(tables, re, im, h, kept);
}

void packedMultiplyAdd(const packedpairs::Tables& tables, float* re, float* im, float* now,
                       const float* before, const float* hNow, const float* hBefore, bool nowGiven) noexcept
{
    packedpairs::multiplyAdd<PairVectorAccess, PairScalarAccess>(tables, re, im, now, before, hNow, hBefore,
                                                                 nowGiven);
}

void radix4Forward(float* re, float* im, int m, int q, const float* tw) noexcept
{
    fftpasses::radix4Forward<WideLanes>(re, im, m, q, tw);
}

void radix4Inverse(float* re, float* im, int m, int q, const float* tw) noexcept
{
    fftpasses::radix4Inverse<WideLanes>(re, im, m, q, tw);
}

void radix4ForwardFromInterleaved(const float* in, float* re, float* im, int m, const float* tw) noexcept
{
    fftpasses::radix4ForwardFromInterleaved<WideLanes>(in, re, im, m, tw);
}

void radix4InverseToInterleaved(const float* re, const float* im, float* out, int m, const float* tw) noexcept
{
    fftpasses::radix4InverseToInterleaved<WideLanes>(re, im, out, m, tw);
}

}  // namespace valvora::wide
