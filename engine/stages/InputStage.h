#pragma once
// The amplifier's input buffer: a fixed second-order high-pass with a resonant
// pole pair near 66 Hz and a pass-band gain of about +11.9 dB, discretised by
// zero-order hold at the host rate.

#include "engine/circuits/StateSpace.h"

namespace valvora {

class InputStage {
public:
    InputStage() noexcept;
    virtual ~InputStage() = default;

    // Audio thread (engine update). Recomputes only when the period changes;
    // a NaN period never counts as a change. Never allocates.
    void setPeriod(double period) noexcept;

    // Audio thread, per sample; channel is 0 or 1.
    void process(double& sample, int channel) noexcept { sample = discrete_.step(sample, channel); }

    // Read-only views for tests and tools.
    double period() const noexcept { return period_; }
    using Model = ContinuousModel<2>;
    const Model& continuous() const noexcept { return model_; }
    const DiscreteModel<2>& discrete() const noexcept { return discrete_; }

private:
    double period_ = 0.0;
    ContinuousModel<2> model_;
    DiscreteModel<2> discrete_;
};

}  // namespace valvora
