#pragma once
// The bass/middle/treble tone circuit: a seventh-order state-space model whose
// matrices are closed-form functions of the three control positions, turned
// into a per-sample recurrence by the bilinear rule. Two voicings share the
// model and differ only in their circuit constants; variant 1 has the
// shallower middle scoop and more treble.

#include "engine/circuits/BlockRecurrence.h"
#include "engine/circuits/StateSpace.h"

namespace valvora {

class ToneStack {
public:
    using Model = ContinuousModel<7>;

    // Host thread (engine construction). variant is 0 or 1 (anything else
    // counts as 0). All storage is fixed-size inside the object: nothing is
    // allocated here or later.
    explicit ToneStack(int variant) noexcept;
    virtual ~ToneStack() = default;

    // Audio thread (engine update): tapered positions and the period at which
    // the stage runs. Rebuilds the continuous model only when a position
    // changes (NaN never counts as a change), the discrete model always.
    // Never allocates.
    void setControls(double bass, double middle, double treble, double period) noexcept;

    // Audio thread, per sample; channel is 0 or 1.
    void process(double& sample, int channel) noexcept { sample = discrete_.step(sample, channel); }

    // Audio thread: one sample of each channel, the same as process() on
    // channel 0 then channel 1.
    void processPair(double& left, double& right) noexcept
    {
        const __m128d y = discrete_.stepPair(_mm_set_pd(right, left));
        left = _mm_cvtsd_f64(y);
        right = _mm_cvtsd_f64(_mm_unpackhi_pd(y, y));
    }

    // Audio thread: the eight preamp samples of one host sample, as eight
    // process() calls would give them up to rounding (one block step).
    static constexpr int blockLength = 8;
    [[gnu::always_inline]] void processBlock(double (&samples)[blockLength], int channel) noexcept
    {
        block_.run(discrete_, samples, channel);
    }
    // The same for both channels at once (left is channel 0).
    [[gnu::always_inline]] void processBlockPair(double (&left)[blockLength], double (&right)[blockLength]) noexcept
    {
        block_.runPair(discrete_, left, right);
    }

    // Read-only views for tests and tools.
    int variant() const noexcept { return variant_; }
    double bass() const noexcept { return bass_; }
    double middle() const noexcept { return middle_; }
    double treble() const noexcept { return treble_; }
    double period() const noexcept { return period_; }
    const Model& continuous() const noexcept { return model_; }
    const DiscreteModel<7>& discrete() const noexcept { return discrete_; }
    const SquareMatrix<7>& resolvent() const noexcept { return resolvent_; }

private:
    void buildContinuous() noexcept;
    void discretise() noexcept;

    int variant_;
    double bass_ = 0.5, middle_ = 0.5, treble_ = 0.5;
    double period_ = 1.0 / 44100.0;
    Model model_;
    DiscreteModel<7> discrete_;
    SquareMatrix<7> resolvent_ = SquareMatrix<7>::Zero();
    BlockRecurrence<7, blockLength> block_;
};

}  // namespace valvora
