#pragma once
// Level and spectrum figures for the summary lines: peak and RMS in dBFS,
// non-finite samples, and the harmonic content of a steady sine. Portable.

#include <cstddef>
#include <string>
#include <vector>

namespace valvora::render {

class LevelMeter {
public:
    void add(double sample) noexcept;
    void add(const double* samples, std::size_t count) noexcept;
    double peakDb() const noexcept;
    double rmsDb() const noexcept;
    long long nonFinite() const noexcept { return nonFinite_; }
    bool clips() const noexcept { return peak_ > 1.0; }

private:
    double peak_ = 0.0, sumSquares_ = 0.0;
    long long count_ = 0, nonFinite_ = 0;
};

std::string formatDb(double db);

// Power of the harmonics 2..maxHarmonic relative to the fundamental, in dB,
// measured with Goertzel filters over whole periods of `signal`.
double harmonicsDb(const std::vector<double>& signal, double fundamental, double sampleRate,
                   int maxHarmonic = 15);

// Amplitude at one frequency (Goertzel), over the whole signal.
double toneAmplitude(const std::vector<double>& signal, double frequency, double sampleRate);

}  // namespace valvora::render
