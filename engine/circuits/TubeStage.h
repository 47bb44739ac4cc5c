#pragma once

namespace valvora {

// PLACEHOLDER (pass-through) until the tube gain stage model lands.
// One triode gain stage with its cathode feedback network.
class TubeStage {
public:
    enum class Configuration { Normal, Drive };
    explicit TubeStage(Configuration configuration) : configuration_(configuration) {}
    virtual ~TubeStage() = default;

    // Audio thread, from the engine's update; never allocates.
    void update(double period, double networkValue) noexcept { (void)period, (void)networkValue; }
    void setVoicing(bool on) noexcept { tubeModeOn_ = on; }
    void process(double& sample, int channel) noexcept { (void)sample, (void)channel; }

    Configuration configuration() const noexcept { return configuration_; }
    bool voicing() const noexcept { return tubeModeOn_; }

private:
    Configuration configuration_;
    bool tubeModeOn_ = false;
};

}  // namespace valvora
