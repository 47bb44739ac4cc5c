#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the seven-state tone stack lands.
class ToneStack {
public:
    explicit ToneStack(int variant) : variant_(variant) {}
    virtual ~ToneStack() = default;
    void setControls(double bass, double middle, double treble, double period) noexcept
    {
        (void)bass, (void)middle, (void)treble, (void)period;
    }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }
    int variant() const noexcept { return variant_; }

private:
    int variant_;
};

}  // namespace valvora
