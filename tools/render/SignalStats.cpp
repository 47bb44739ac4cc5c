#include "tools/render/SignalStats.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace valvora::render {

namespace {
constexpr double kSilenceDb = -200.0;

double toDb(double amplitude) { return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : kSilenceDb; }
}  // namespace

void LevelMeter::add(double sample) noexcept
{
    if (!std::isfinite(sample)) {
        ++nonFinite_;
        return;
    }
    peak_ = std::fmax(peak_, std::fabs(sample));
    sumSquares_ += sample * sample;
    ++count_;
}

void LevelMeter::add(const double* samples, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) add(samples[i]);
}

double LevelMeter::peakDb() const noexcept { return toDb(peak_); }

double LevelMeter::rmsDb() const noexcept
{
    return count_ > 0 ? toDb(std::sqrt(sumSquares_ / static_cast<double>(count_))) : kSilenceDb;
}

std::string formatDb(double db)
{
    if (db <= kSilenceDb) return "-inf";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", db);
    return text;
}

double toneAmplitude(const std::vector<double>& signal, double frequency, double sampleRate)
{
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (double x : signal) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::fmax(power, 0.0)) / static_cast<double>(signal.size());
}

double harmonicsDb(const std::vector<double>& signal, double fundamental, double sampleRate, int maxHarmonic)
{
    // Whole periods keep the Goertzel bins free of leakage between harmonics.
    const auto period = sampleRate / fundamental;
    const auto periods = static_cast<std::size_t>(static_cast<double>(signal.size()) / period);
    const std::vector<double> whole(signal.begin(),
                                    signal.begin() + static_cast<std::ptrdiff_t>(std::floor(periods * period)));
    const double base = toneAmplitude(whole, fundamental, sampleRate);
    double harmonicPower = 0.0;
    for (int h = 2; h <= maxHarmonic && h * fundamental < 0.5 * sampleRate; ++h) {
        const double a = toneAmplitude(whole, h * fundamental, sampleRate);
        harmonicPower += a * a;
    }
    if (base <= 0.0) return kSilenceDb;
    return harmonicPower > 0.0 ? 10.0 * std::log10(harmonicPower / (base * base)) : kSilenceDb;
}

}  // namespace valvora::render
