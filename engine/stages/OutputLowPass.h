#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the output low-pass lands.
class OutputLowPass {
public:
    virtual ~OutputLowPass() = default;
    void setPeriod(double period) noexcept { (void)period; }
    double process(double& sample, int channel) noexcept { (void)channel; return sample; }
};

}  // namespace valvora
