#pragma once
// Just enough WAV for the Windows parity host and the tests, without
// libsndfile: reads 16/24-bit PCM and 32-bit float, writes 32-bit float.
// Portable standard C++ (little-endian hosts).

#include <string>
#include <vector>

namespace valvora::render {

struct WavAudio {
    int sampleRate = 48000;
    std::vector<std::vector<double>> planes;  // one per channel
    std::size_t frames() const { return planes.empty() ? 0 : planes[0].size(); }
};

// false with `error` set when the file is missing or not a supported WAV.
bool readWav(const std::string& path, WavAudio& audio, std::string& error);
// Writes through a temporary file renamed into place; false with `error` set.
bool writeFloatWav(const std::string& path, const WavAudio& audio, std::string& error);

}  // namespace valvora::render
