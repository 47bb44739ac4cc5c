#pragma once
// Feeds frames from a source through the effect block by block, in 32-bit or
// 64-bit samples, and hands the results to a sink. Always stereo on the
// effect's side: sources duplicate mono material into both inputs. Portable.

#include <functional>
#include <vector>

#include "tools/render/PluginHost.h"

namespace valvora::render {

constexpr int kHostChannels = 2;

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Fills up to `frames` frames of both planes; returns how many (0 at the end).
    virtual int read(double* const* planes, int frames) = 0;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(const double* const* planes, int frames) = 0;
};

struct RenderSettings {
    double sampleRate = 48000.0;
    int blockSize = 512;
    bool doublePrecision = false;
};

class BlockRenderer {
public:
    using Progress = std::function<void(long long framesDone)>;

    BlockRenderer(PluginHost& host, const RenderSettings& settings);
    // Renders until the source runs dry; returns the number of frames.
    // `shouldStop` is polled between blocks so an interrupt ends cleanly.
    long long run(FrameSource& source, FrameSink& sink, const Progress& progress = {},
                  const std::function<bool()>& shouldStop = {});

private:
    void processBlock(int frames);

    PluginHost& host_;
    RenderSettings settings_;
    std::vector<double> in_[kHostChannels], out_[kHostChannels];
    std::vector<float> inF_[kHostChannels], outF_[kHostChannels];
};

// A source over planar material held in memory (mono or stereo).
class MemorySource : public FrameSource {
public:
    explicit MemorySource(const std::vector<std::vector<double>>& planes) : planes_(planes) {}
    int read(double* const* planes, int frames) override;

private:
    const std::vector<std::vector<double>>& planes_;
    std::size_t position_ = 0;
};

// A sink that keeps both output planes in memory.
class MemorySink : public FrameSink {
public:
    void write(const double* const* planes, int frames) override;
    std::vector<double> planes[kHostChannels];
};

// Renders planar material held in memory through the host in one call.
std::vector<std::vector<double>> renderInMemory(PluginHost& host, const RenderSettings& settings,
                                                const std::vector<std::vector<double>>& input);

}  // namespace valvora::render
