#pragma once
// One guitar string as a plucked waveguide (extended Karplus-Strong): a
// noise burst shaped by the pick position circulates in a fractional delay
// line whose loop filter sets decay and brightness. Palm muting darkens and
// shortens the loop; the pitch may glide for bends and vibrato.
// Deterministic: its own noise generator, no library randomness. Portable.

#include <cstdint>
#include <vector>

namespace valvora::render {

struct PluckSettings {
    double frequency = 110.0;  // Hz
    double velocity = 0.8;     // 0..1
    double sustain = 4.0;      // seconds to -60 dB while held
    double pickPosition = 0.2; // fraction of the string length from the bridge
    bool palmMuted = false;
};

class PluckedString {
public:
    PluckedString(double sampleRate, double lowestFrequency);

    void pluck(const PluckSettings& settings, std::uint32_t seed);
    void release() noexcept { released_ = true; }
    // Pitch as a ratio of the plucked frequency (1 = unbent).
    void setPitchRatio(double ratio) noexcept { ratio_ = ratio; }
    double next() noexcept;

private:
    double sampleRate_;
    std::vector<double> line_;
    std::size_t write_ = 0;
    double frequency_ = 110.0, ratio_ = 1.0;
    double loopGain_ = 0.999, brightness_ = 0.5, lowpassState_ = 0.0;
    bool released_ = false;
};

}  // namespace valvora::render
