#pragma once

namespace valvora {

// PLACEHOLDER (adds nothing) until the convolution reverb lands.
class ReverbStage {
public:
    virtual ~ReverbStage() = default;
    void setLevel(double level) noexcept { level_ = static_cast<float>(level); }
    void setPeriod(double period) noexcept { (void)period; }
    // Adds the wet signal to sample in place and returns it.
    double process(double& sample, int channel) noexcept { (void)sample, (void)channel; return 0.0; }
    float level() const noexcept { return level_; }

private:
    float level_ = 0.0f;
};

}  // namespace valvora
