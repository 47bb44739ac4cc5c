#pragma once
// The transform's radix-4 passes with eight-float vectors, and the packed
// spectral products in VEX-encoded, fused arithmetic, for processors with
// AVX2 and FMA (chosen when a plan is built; x86-64's baseline stays SSE2).
// Same arguments and results as the four-float passes in FftPlan.cpp, with a
// quarter q that is a multiple of 8. The source is compiled for AVX2 alone and
// defines no inline or template functions that other sources could share.

namespace valvora::packedpairs {
struct Tables;
}

namespace valvora::wide {

// True when the processor and the operating system run AVX2 and FMA code
// (defined in FftPlan.cpp, which is compiled for the baseline).
bool available() noexcept;

void radix4Forward(float* re, float* im, int m, int q, const float* twiddles) noexcept;
void radix4Inverse(float* re, float* im, int m, int q, const float* twiddles) noexcept;
void radix4ForwardFromInterleaved(const float* in, float* re, float* im, int m,
                                  const float* twiddles) noexcept;
void radix4InverseToInterleaved(const float* re, const float* im, float* out, int m,
                                const float* twiddles) noexcept;

// PackedProduct's two products (same arguments and results, to rounding: the
// multiply-adds are fused).
void packedMultiply(const packedpairs::Tables& tables, float* re, float* im, const float* h,
                    float* kept) noexcept;
void packedMultiplyAdd(const packedpairs::Tables& tables, float* re, float* im, float* now,
                       const float* before, const float* hNow, const float* hBefore, bool nowGiven) noexcept;

}  // namespace valvora::wide
