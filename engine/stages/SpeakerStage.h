#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the cabinet simulation lands.
class SpeakerStage {
public:
    virtual ~SpeakerStage() = default;
    void setCabinet(bool twelveInchPair) noexcept { cabinet_ = twelveInchPair; }
    void setPeriod(double period) noexcept { (void)period; }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }
    bool cabinet() const noexcept { return cabinet_; }

private:
    bool cabinet_ = false;
};

}  // namespace valvora
