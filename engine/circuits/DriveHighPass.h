#pragma once
// First-order high-pass after the drive tube stage. The Gain value sets both
// its pass-band level and its corner, so more gain also means a higher bass
// corner: the bilinear transform of G·s / (s − σ) with σ = −644.74·G rad/s.

#include "engine/circuits/StateSpace.h"

namespace valvora {

class DriveHighPass {
public:
    DriveHighPass() noexcept;
    virtual ~DriveHighPass() = default;

    // Audio thread (engine update): period is the preamp's, gain the tapered
    // Gain value (0.005 to 1). Always recomputes; never allocates.
    void update(double period, double gain) noexcept;

    // Audio thread, per sample; channel is 0 or 1.
    void process(double& sample, int channel) noexcept
    {
        const double u = limitInput(sample);
        double& e = state_[channel];
        sample = p3_ * u + p2_ * e;
        e = p0_ * e + p1_ * u;
    }

    // Audio thread: one sample of each channel, the same as process() on
    // channel 0 then channel 1, for a caller that holds both channels' states
    // (lane 0 channel 0) across a run of samples: the same arithmetic per lane.
    __m128d hold() const noexcept { return _mm_set_pd(state_[1], state_[0]); }
    void release(__m128d held) noexcept
    {
        _mm_storel_pd(&state_[0], held);
        _mm_storeh_pd(&state_[1], held);
    }
    [[gnu::always_inline]] void processPair(double& left, double& right, __m128d& held) const noexcept
    {
        const __m128d u = limitInputPair(_mm_set_pd(right, left));
        const __m128d y = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(p3_), u), _mm_mul_pd(_mm_set1_pd(p2_), held));
        held = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(p0_), held), _mm_mul_pd(_mm_set1_pd(p1_), u));
        left = _mm_cvtsd_f64(y);
        right = _mm_cvtsd_f64(_mm_unpackhi_pd(y, y));
    }

    // Read-only views for tests and tools.
    double p0() const noexcept { return p0_; }
    double p1() const noexcept { return p1_; }
    double p2() const noexcept { return p2_; }
    double p3() const noexcept { return p3_; }

private:
    double p0_ = 0.0, p1_ = 0.0, p2_ = 0.0, p3_ = 0.0;
    double state_[2] = {0.0, 0.0};
};

}  // namespace valvora
