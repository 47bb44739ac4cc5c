#pragma once
// Audio files through libsndfile. The reader streams an input file as a
// FrameSource (mono duplicated into both host channels); the writer streams
// into a temporary file beside the output and renames it only on commit, so a
// failed or interrupted render never leaves a partial output behind.

#include <sndfile.h>

#include <string>
#include <vector>

#include "tools/render/BlockRenderer.h"

namespace valvora::render {

class AudioReader : public FrameSource {
public:
    explicit AudioReader(const std::string& path);  // throws RenderError(kExitInput)
    ~AudioReader() override;
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int read(double* const* planes, int frames) override;
    int sampleRate() const noexcept { return info_.samplerate; }
    int channels() const noexcept { return info_.channels; }
    long long frames() const noexcept { return info_.frames; }
    int sampleFormat() const noexcept { return info_.format & SF_FORMAT_SUBMASK; }

private:
    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<double> interleaved_;
};

class AudioWriter : public FrameSink {
public:
    // `sampleFormat` is "16", "24", "32" or "float"; empty means `fallbackSubtype`
    // (an SF_FORMAT_* subtype, usually the input's) where the container allows it.
    // Throws RenderError(kExitOutput).
    AudioWriter(const std::string& path, int sampleRate, int channels, const std::string& sampleFormat,
                int fallbackSubtype = SF_FORMAT_PCM_24);
    ~AudioWriter() override;  // discards the temporary file unless committed
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const double* const* planes, int frames) override;
    void commit();  // closes and renames into place; throws RenderError(kExitOutput)

private:
    void discard() noexcept;

    std::string path_, temporary_;
    int channels_ = 2;
    SNDFILE* file_ = nullptr;
    std::vector<double> interleaved_;
};

// Writes planar material held in memory (1 or 2 planes) to a file in one go.
void writeAudioFile(const std::string& path, int sampleRate, const std::vector<std::vector<double>>& planes,
                    const std::string& sampleFormat);

}  // namespace valvora::render
