#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the input buffer model lands.
class InputStage {
public:
    virtual ~InputStage() = default;
    void setPeriod(double period) noexcept { (void)period; }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }
};

}  // namespace valvora
