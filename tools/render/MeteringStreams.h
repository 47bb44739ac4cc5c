#pragma once
// Pass-through source and sink that measure what flows through them, so the
// summary line reports the levels of exactly what was rendered.

#include "tools/render/BlockRenderer.h"
#include "tools/render/SignalStats.h"

namespace valvora::render {

class MeteringSource : public FrameSource {
public:
    MeteringSource(FrameSource& inner, int channels) : inner_(inner), channels_(channels) {}
    int read(double* const* planes, int frames) override
    {
        const int n = inner_.read(planes, frames);
        for (int c = 0; c < channels_; ++c) meter.add(planes[c], static_cast<std::size_t>(n));
        return n;
    }
    LevelMeter meter;

private:
    FrameSource& inner_;
    int channels_;
};

class MeteringSink : public FrameSink {
public:
    explicit MeteringSink(FrameSink& inner) : inner_(inner) {}
    void write(const double* const* planes, int frames) override
    {
        for (int c = 0; c < kHostChannels; ++c) meter.add(planes[c], static_cast<std::size_t>(frames));
        inner_.write(planes, frames);
    }
    LevelMeter meter;

private:
    FrameSink& inner_;
};

}  // namespace valvora::render
