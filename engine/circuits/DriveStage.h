#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the drive channel's network lands.
class DriveStage {
public:
    virtual ~DriveStage() = default;
    void setPeriod(double period) noexcept { (void)period; }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }
};

}  // namespace valvora
