#pragma once
// Four-float vectors through the compiler's vector extension: plain SSE2 on
// x86-64 (the baseline of both builds), no intrinsics header, no run-time
// dispatch. Aligned access is for our own 64-byte aligned buffers; the
// unaligned forms are for caller-supplied buffers.

namespace valvora::simd {

typedef float Float4 __attribute__((vector_size(16), may_alias));
typedef float UnalignedFloat4 __attribute__((vector_size(16), may_alias, aligned(4)));
typedef int Int4 __attribute__((vector_size(16)));

inline Float4 load(const float* p) noexcept
{
    return *reinterpret_cast<const Float4*>(p);
}
inline void store(float* p, Float4 v) noexcept
{
    *reinterpret_cast<Float4*>(p) = v;
}
inline Float4 loadUnaligned(const float* p) noexcept
{
    return *reinterpret_cast<const UnalignedFloat4*>(p);
}
inline void storeUnaligned(float* p, Float4 v) noexcept
{
    *reinterpret_cast<UnalignedFloat4*>(p) = v;
}
inline Float4 broadcast(float x) noexcept
{
    return Float4{x, x, x, x};
}
inline Float4 reversed(Float4 v) noexcept
{
    return __builtin_shuffle(v, Int4{3, 2, 1, 0});
}

// Transposes four rows of four in place (row b element l becomes row l element b).
inline void transpose(Float4& r0, Float4& r1, Float4& r2, Float4& r3) noexcept
{
    const Float4 t0 = __builtin_shuffle(r0, r1, Int4{0, 4, 1, 5});
    const Float4 t1 = __builtin_shuffle(r0, r1, Int4{2, 6, 3, 7});
    const Float4 t2 = __builtin_shuffle(r2, r3, Int4{0, 4, 1, 5});
    const Float4 t3 = __builtin_shuffle(r2, r3, Int4{2, 6, 3, 7});
    r0 = __builtin_shuffle(t0, t2, Int4{0, 1, 4, 5});
    r1 = __builtin_shuffle(t0, t2, Int4{2, 3, 6, 7});
    r2 = __builtin_shuffle(t1, t3, Int4{0, 1, 4, 5});
    r3 = __builtin_shuffle(t1, t3, Int4{2, 3, 6, 7});
}

}  // namespace valvora::simd
