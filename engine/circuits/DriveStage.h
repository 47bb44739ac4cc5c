#pragma once
// The drive channel's filter network ahead of its tube stage: a fixed
// third-order model held by zero-order hold at the host rate, followed by a
// two-tap correction filter that restores the analogue network's level at a
// quarter of the sample rate, which the hold alone loses.

#include "engine/circuits/StateSpace.h"

namespace valvora {

class DriveStage {
public:
    using Model = ContinuousModel<3>;

    DriveStage() noexcept;
    virtual ~DriveStage() = default;

    // Audio thread (engine update), with the host period only. Recomputes only
    // when the period changes; a NaN period never counts. Never allocates.
    void setPeriod(double period) noexcept;

    // Audio thread, per sample; channel is 0 or 1.
    void process(double& sample, int channel) noexcept
    {
        const double w = discrete_.step(sample, channel);
        sample = correctionCurrent_ * w + correctionPrevious_ * previousOutput_[channel];
        previousOutput_[channel] = w;
    }

    // Read-only views for tests and tools.
    double period() const noexcept { return period_; }
    const Model& continuous() const noexcept { return model_; }
    const DiscreteModel<3>& discrete() const noexcept { return discrete_; }
    double correctionCurrent() const noexcept { return correctionCurrent_; }
    double correctionPrevious() const noexcept { return correctionPrevious_; }

private:
    double period_ = 0.0;
    Model model_;
    DiscreteModel<3> discrete_;
    double correctionCurrent_ = 1.0;
    double correctionPrevious_ = 0.0;
    double previousOutput_[2] = {0.0, 0.0};
};

}  // namespace valvora
