#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the gain-dependent high-pass lands.
class DriveHighPass {
public:
    virtual ~DriveHighPass() = default;
    void update(double period, double gain) noexcept { (void)period, (void)gain; }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }
};

}  // namespace valvora
