#pragma once
// The built-in DI guitar performance: about 20 s of a plucked-string guitar
// played straight into the interface: single notes, strummed open chords,
// palm-muted chugs with accents, a sustained bend with vibrato and a final
// ringing chord. Synthesised, so every machine renders the same input.

#include <vector>

namespace valvora::render {

class DemoPerformance {
public:
    static constexpr double kSeconds = 20.0;
    // The strummed E major chord whose waveform the demo picture shows.
    static constexpr double kShowcaseChordTime = 4.0;
    static constexpr double kPeak = 0.5;  // -6 dBFS, a hot but clean DI level

    // Mono samples at `sampleRate`; `seconds` (0 = all) cuts the performance short.
    static std::vector<double> synthesize(double sampleRate, double seconds = 0.0);
};

}  // namespace valvora::render
