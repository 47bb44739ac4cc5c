#include "tools/render/PluckedString.h"

#include <algorithm>
#include <cmath>

namespace valvora::render {

namespace {
constexpr double kReleaseLoopGain = 0.93;  // a lifted finger stops the string within ~50 ms
constexpr double kMutedSustainSeconds = 0.18;
}  // namespace

PluckedString::PluckedString(double sampleRate, double lowestFrequency)
    : sampleRate_(sampleRate),
      // room for the lowest note bent down a little, plus interpolation taps
      line_(static_cast<std::size_t>(sampleRate / (0.8 * lowestFrequency)) + 4, 0.0)
{
}

void PluckedString::pluck(const PluckSettings& settings, std::uint32_t seed)
{
    frequency_ = settings.frequency;
    ratio_ = 1.0;
    released_ = false;
    const double period = sampleRate_ / frequency_;
    const double sustain = settings.palmMuted ? kMutedSustainSeconds : settings.sustain;
    // Loop gain per period so that the note falls 60 dB in `sustain` seconds.
    loopGain_ = std::pow(10.0, -3.0 / (sustain * frequency_));
    // A palm on the bridge removes the upper partials first.
    brightness_ = settings.palmMuted ? 0.12 : 0.5;

    std::fill(line_.begin(), line_.end(), 0.0);
    const auto length = static_cast<std::size_t>(period);
    const auto pickDelay = std::max<std::size_t>(1, static_cast<std::size_t>(settings.pickPosition * period));
    std::vector<double> burst(length);
    std::uint32_t state = seed;
    double mean = 0.0;
    for (double& x : burst) {
        state = state * 1664525u + 1013904223u;
        x = static_cast<double>(state) / 2147483648.0 - 1.0;
        mean += x;
    }
    mean /= static_cast<double>(length);
    // Plucking at a fraction p of the string cancels the harmonics that have
    // a node there: a comb of delay p*period on the excitation.
    for (std::size_t i = 0; i < length; ++i) {
        const double combed = (burst[i] - mean) - (i >= pickDelay ? burst[i - pickDelay] - mean : 0.0);
        line_[i] = settings.velocity * 0.5 * combed;
    }
    write_ = length % line_.size();
    lowpassState_ = 0.0;
}

double PluckedString::next() noexcept
{
    const double size = static_cast<double>(line_.size());
    // The one-pole loop filter delays low partials by (1-b)/b samples; taking
    // that off the line keeps the string in tune, muted or not.
    const double filterDelay = (1.0 - brightness_) / brightness_;
    const double delay = std::clamp(sampleRate_ / (frequency_ * ratio_) - filterDelay, 2.0, size - 2.0);
    double readPosition = static_cast<double>(write_) - delay;
    if (readPosition < 0.0) readPosition += size;
    const auto i0 = static_cast<std::size_t>(readPosition);
    const double frac = readPosition - static_cast<double>(i0);
    const std::size_t i1 = (i0 + 1) % line_.size();
    const double delayed = line_[i0] + frac * (line_[i1] - line_[i0]);

    lowpassState_ += brightness_ * (delayed - lowpassState_);
    const double gain = released_ ? kReleaseLoopGain : loopGain_;
    const double y = gain * lowpassState_;
    line_[write_] = y;
    write_ = (write_ + 1) % line_.size();
    return y;
}

}  // namespace valvora::render
