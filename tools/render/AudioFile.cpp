#include "tools/render/AudioFile.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "tools/render/RenderError.h"

namespace valvora::render {

namespace {

std::string extensionOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int containerFor(const std::string& path)
{
    const std::string ext = extensionOf(path);
    if (ext == "wav") return SF_FORMAT_WAV;
    if (ext == "flac") return SF_FORMAT_FLAC;
    if (ext == "aif" || ext == "aiff") return SF_FORMAT_AIFF;
    throw RenderError(kExitOutput, "unsupported output format \"" + (ext.empty() ? path : "." + ext) +
                                       "\" (use .wav, .flac or .aiff)");
}

int subtypeFor(const std::string& sampleFormat, int fallback)
{
    if (sampleFormat == "16") return SF_FORMAT_PCM_16;
    if (sampleFormat == "24") return SF_FORMAT_PCM_24;
    if (sampleFormat == "32") return SF_FORMAT_PCM_32;
    if (sampleFormat == "float") return SF_FORMAT_FLOAT;
    return fallback;
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw RenderError(kExitInput, "input file " + path + " does not exist");
    if (std::filesystem::is_directory(path, error))
        throw RenderError(kExitInput, "input " + path + " is a folder, not an audio file");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (!file_) {
        if (access(path.c_str(), R_OK) != 0) throw RenderError(kExitInput, "cannot read input file " + path);
        throw RenderError(kExitInput, "unsupported input format in " + path + ": " + sf_strerror(nullptr));
    }
    if (info_.channels < 1 || info_.channels > 2) {
        sf_close(file_);
        throw RenderError(kExitInput, "input " + path + " has " + std::to_string(info_.channels) +
                                          " channels; only mono and stereo are supported");
    }
}

AudioReader::~AudioReader()
{
    if (file_) sf_close(file_);
}

int AudioReader::read(double* const* planes, int frames)
{
    interleaved_.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info_.channels));
    const sf_count_t got = sf_readf_double(file_, interleaved_.data(), frames);
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        throw RenderError(kExitInput, "error reading " + path_ + ": " + sf_strerror(file_));
    const int n = static_cast<int>(got);
    const int channels = info_.channels;
    for (int i = 0; i < n; ++i) {
        const double* frame = &interleaved_[static_cast<std::size_t>(i * channels)];
        planes[0][i] = frame[0];
        planes[1][i] = frame[channels - 1];
    }
    return n;
}

AudioWriter::AudioWriter(const std::string& path, int sampleRate, int channels, const std::string& sampleFormat,
                         int fallbackSubtype)
    : path_(path), channels_(channels)
{
    const int container = containerFor(path);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = container | subtypeFor(sampleFormat, fallbackSubtype);
    if (!sf_format_check(&info)) {
        // An input subtype the container cannot hold (float into FLAC, say)
        // falls back to 24-bit; an explicit request is an error.
        if (!sampleFormat.empty())
            throw RenderError(kExitOutput, "unsupported output format: " + sampleFormat + " samples in ." +
                                               extensionOf(path) + " files");
        info.format = container | SF_FORMAT_PCM_24;
    }
    temporary_ = path + ".partial-" + std::to_string(getpid());
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (!file_) {
        const std::string why = sf_strerror(nullptr);
        std::remove(temporary_.c_str());
        throw RenderError(kExitOutput, "cannot write output file " + path + ": " + why);
    }
    // Without clipping, libsndfile wraps overs around in integer formats.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() { discard(); }

void AudioWriter::discard() noexcept
{
    if (file_) {
        sf_close(file_);
        file_ = nullptr;
        std::remove(temporary_.c_str());
    }
}

void AudioWriter::write(const double* const* planes, int frames)
{
    interleaved_.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_));
    for (int i = 0; i < frames; ++i) {
        if (channels_ == 1) {
            interleaved_[static_cast<std::size_t>(i)] = 0.5 * (planes[0][i] + planes[1][i]);
        } else {
            interleaved_[static_cast<std::size_t>(2 * i)] = planes[0][i];
            interleaved_[static_cast<std::size_t>(2 * i + 1)] = planes[1][i];
        }
    }
    if (sf_writef_double(file_, interleaved_.data(), frames) != frames)
        throw RenderError(kExitOutput, "error writing " + path_ + ": " + sf_strerror(file_));
}

void AudioWriter::commit()
{
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0 || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        std::remove(temporary_.c_str());
        throw RenderError(kExitOutput, "cannot write output file " + path_);
    }
}

void writeAudioFile(const std::string& path, int sampleRate, const std::vector<std::vector<double>>& planes,
                    const std::string& sampleFormat)
{
    const int channels = static_cast<int>(std::min<std::size_t>(planes.size(), 2));
    AudioWriter writer(path, sampleRate, channels, sampleFormat);
    MemorySource source(planes);
    std::vector<double> a(4096), b(4096);
    double* chunk[kHostChannels] = {a.data(), b.data()};
    for (int n; (n = source.read(chunk, 4096)) > 0;) writer.write(chunk, n);
    writer.commit();
}

}  // namespace valvora::render
