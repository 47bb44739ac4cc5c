#pragma once
// Eight-times rate change for the distorting preamp. Each direction is a
// two-step cascade: a polyphase half-band made of first-order allpass sections
// for the factor 2, and a 40-tap low-pass FIR in polyphase form for the
// factor 4. Up: half-band (1 to 2), then FIR (2 to 8). Down: FIR (8 to 2),
// then half-band (2 to 1). One object serves one channel in one direction.

#include <emmintrin.h>

#include <array>

#include "engine/ResamplingCoefficients.h"

namespace valvora {

class Oversampler {
public:
    static constexpr int factor = 8;
    static constexpr int firLength = 40;
    static constexpr int allpassCount = 8;
    static constexpr int ringSize = 64;

    // The shared read-only coefficient tables (nothing to allocate per
    // object). Path 0 of the half-band uses the even-indexed allpass
    // coefficients, path 1 the odd-indexed ones; the FIR's four phases are
    // the taps k, k + 4, ..., k + 36.
    static constexpr const std::array<double, allpassCount>& allpassCoefficients =
        resampling::allpassCoefficients;
    static constexpr const std::array<double, firLength>& firCoefficients = resampling::firCoefficients;

    Oversampler() noexcept = default;
    virtual ~Oversampler() = default;

    // Audio thread. One host-rate sample in, 8 samples out, oldest first.
    // NaN and infinite inputs count as silence and huge ones are limited, so
    // no state can become NaN or infinite.
    [[gnu::always_inline]] void up(double x, double out[factor]) noexcept;

    // Audio thread. 8 samples (oldest first) in, one host-rate sample out.
    // Inputs are sanitised as for up().
    [[gnu::always_inline]] double down(const double in[factor]) noexcept { return decimate<true>(in); }

    // down() for inputs known to be finite and within inputLimit (the
    // preamp's own outputs): the same result without the input checks.
    [[gnu::always_inline]] double downFinite(const double in[factor]) noexcept { return decimate<false>(in); }

    int ringPosition() const noexcept { return position; }

    // Far above any audio level; the filters' peak gains cannot carry it to
    // the overflow threshold.
    static constexpr double inputLimit = 1e300;

private:
    template <bool checked>
    [[gnu::always_inline]] double decimate(const double in[factor]) noexcept;

    // Slot j and slot j + 64 always hold the same sample, so every filter
    // window reads contiguously without a wrap test.
    std::array<double, 2 * ringSize> history{};
    int position = 0;
    std::array<double, allpassCount> allpassInputs{};
    std::array<double, allpassCount> allpassOutputs{};
};

// Defined here so that the engine compiles them into each of its instruction-set
// variants of the per-sample chain.
// Written with SSE2 pairs (the x86-64 baseline): the oversampler runs twice
// per sample and channel around the 8x preamp, and its instruction count shows
// in the whole chain's. Each lane does exactly the scalar arithmetic, in the
// same order.

namespace oversampling {

// Both half-band paths at once: lane 0 is path 0 (coefficients c0, c2, c4,
// c6), lane 1 path 1 (c1, c3, c5, c7). Section k of both paths keeps its
// previous input and output in slots 2k and 2k + 1.
[[gnu::always_inline]] inline __m128d allpassPaths(__m128d x, double* inputs, double* outputs) noexcept
{
    const double* c = Oversampler::allpassCoefficients.data();
    for (int k = 0; k < Oversampler::allpassCount; k += 2) {
        const __m128d y =
            _mm_add_pd(_mm_mul_pd(_mm_sub_pd(x, _mm_loadu_pd(outputs + k)), _mm_loadu_pd(c + k)),
                       _mm_loadu_pd(inputs + k));
        _mm_storeu_pd(inputs + k, x);
        _mm_storeu_pd(outputs + k, y);
        x = y;
    }
    return x;
}

// NaN and infinities become 0, finite values beyond the limit are limited.
[[gnu::always_inline]] inline __m128d sanitise(__m128d x) noexcept
{
    const __m128d magnitudeMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    const __m128d magnitude = _mm_and_pd(x, magnitudeMask);
    const __m128d inRange = _mm_cmple_pd(magnitude, _mm_set1_pd(Oversampler::inputLimit));
    const __m128d finite = _mm_cmple_pd(magnitude, _mm_set1_pd(1.7976931348623157e308));
    const __m128d limited = _mm_or_pd(_mm_andnot_pd(magnitudeMask, x), _mm_set1_pd(Oversampler::inputLimit));
    return _mm_or_pd(_mm_and_pd(inRange, x), _mm_andnot_pd(inRange, _mm_and_pd(finite, limited)));
}

// The FIR taps in reverse, so that a window read from oldest to newest meets
// them in memory order.
constexpr std::array<double, Oversampler::firLength> reversed(
    const std::array<double, Oversampler::firLength>& f)
{
    std::array<double, Oversampler::firLength> r{};
    for (int t = 0; t < Oversampler::firLength; ++t) r[t] = f[Oversampler::firLength - 1 - t];
    return r;
}
alignas(16) inline constexpr std::array<double, Oversampler::firLength> reversedTaps =
    reversed(Oversampler::firCoefficients);

}  // namespace oversampling

inline void Oversampler::up(double x, double out[factor]) noexcept
{
    // Each FIR phase passes about 1/4 of DC; 4 restores unit gain.
    const __m128d v = _mm_mul_pd(_mm_set1_pd(4.0), oversampling::sanitise(_mm_set1_pd(x)));
    const __m128d p = oversampling::allpassPaths(v, allpassInputs.data(), allpassOutputs.data());
    const double p0 = _mm_cvtsd_f64(p);                      // the earlier 2x-rate sample
    const double p1 = _mm_cvtsd_f64(_mm_unpackhi_pd(p, p));  // the later one

    // Reading upward from position goes back in time.
    position = (position + ringSize - 2) % ringSize;
    const int older = (position + 1) % ringSize;
    history[position] = history[position + ringSize] = p1;
    history[older] = history[older + ringSize] = p0;

    // Outputs 0-3 use the window whose newest entry is p0 (h[1]), outputs
    // 4-7 the one ending at p1 (h[0]); output k takes the taps k, k + 4, ...
    const double* h = &history[position];
    const double* f = firCoefficients.data();
    __m128d early01 = _mm_setzero_pd(), early23 = _mm_setzero_pd();
    __m128d late01 = _mm_setzero_pd(), late23 = _mm_setzero_pd();
    __m128d newer = _mm_set1_pd(h[0]);
#pragma GCC unroll 10
    for (int j = 0; j < firLength / 4; ++j) {
        const __m128d previous = _mm_set1_pd(h[j + 1]);
        const __m128d f01 = _mm_loadu_pd(f + 4 * j), f23 = _mm_loadu_pd(f + 4 * j + 2);
        early01 = _mm_add_pd(early01, _mm_mul_pd(f01, previous));
        early23 = _mm_add_pd(early23, _mm_mul_pd(f23, previous));
        late01 = _mm_add_pd(late01, _mm_mul_pd(f01, newer));
        late23 = _mm_add_pd(late23, _mm_mul_pd(f23, newer));
        newer = previous;
    }
    _mm_storeu_pd(out, early01);
    _mm_storeu_pd(out + 2, early23);
    _mm_storeu_pd(out + 4, late01);
    _mm_storeu_pd(out + 6, late23);
}

template <bool checked>
inline double Oversampler::decimate(const double in[factor]) noexcept
{
    if (position + factor <= ringSize) {
        for (int i = 0; i < factor; i += 2) {
            const __m128d s = checked ? oversampling::sanitise(_mm_loadu_pd(in + i)) : _mm_loadu_pd(in + i);
            _mm_storeu_pd(&history[position + i], s);
            _mm_storeu_pd(&history[position + ringSize + i], s);
        }
    } else {  // only if up() and down() were mixed on one object
        for (int i = 0; i < factor; ++i) {
            const int slot = (position + i) % ringSize;
            history[slot] = history[slot + ringSize] =
                checked ? _mm_cvtsd_f64(oversampling::sanitise(_mm_set1_pd(in[i]))) : in[i];
        }
    }
    // Only the two 8x-rate outputs that survive the decimation are computed:
    // the ones after in[3] and after in[7]. Both windows reach into the
    // previous calls' samples. Each sum is split by tap index modulo 4 into
    // four short chains, read oldest first against the reversed taps.
    const int newest = (position + factor - 1) % ringSize + ringSize;
    const double* late = &history[newest - (firLength - 1)];  // ends at in[7]
    const double* early = late - 4;                           // ends at in[3]
    const double* taps = oversampling::reversedTaps.data();
    __m128d late01 = _mm_setzero_pd(), late23 = _mm_setzero_pd();
    __m128d early01 = _mm_setzero_pd(), early23 = _mm_setzero_pd();
#pragma GCC unroll 10
    for (int t = 0; t < firLength; t += 4) {
        const __m128d t01 = _mm_load_pd(taps + t), t23 = _mm_load_pd(taps + t + 2);
        late01 = _mm_add_pd(late01, _mm_mul_pd(t01, _mm_loadu_pd(late + t)));
        late23 = _mm_add_pd(late23, _mm_mul_pd(t23, _mm_loadu_pd(late + t + 2)));
        early01 = _mm_add_pd(early01, _mm_mul_pd(t01, _mm_loadu_pd(early + t)));
        early23 = _mm_add_pd(early23, _mm_mul_pd(t23, _mm_loadu_pd(early + t + 2)));
    }
    position = (position + factor) % ringSize;

    // (s0 + s1) + (s2 + s3) for both sums, side by side: lane 0 b (late),
    // lane 1 a (early).
    const __m128d pairs01 = _mm_unpacklo_pd(late01, early01), pairs01hi = _mm_unpackhi_pd(late01, early01);
    const __m128d pairs23 = _mm_unpacklo_pd(late23, early23), pairs23hi = _mm_unpackhi_pd(late23, early23);
    const __m128d ba = _mm_add_pd(_mm_add_pd(pairs01, pairs01hi), _mm_add_pd(pairs23, pairs23hi));

    // Path 0 takes b (the newer 2x-rate sample), path 1 a (the older).
    const __m128d q = oversampling::allpassPaths(ba, allpassInputs.data(), allpassOutputs.data());
    return (_mm_cvtsd_f64(q) + _mm_cvtsd_f64(_mm_unpackhi_pd(q, q))) * 0.5;
}

}  // namespace valvora
