#include "tools/render/BlockRenderer.h"

#include <algorithm>

namespace valvora::render {

BlockRenderer::BlockRenderer(PluginHost& host, const RenderSettings& settings)
    : host_(host), settings_(settings)
{
    const auto block = static_cast<std::size_t>(settings.blockSize);
    for (int c = 0; c < kHostChannels; ++c) {
        in_[c].assign(block, 0.0);
        out_[c].assign(block, 0.0);
        inF_[c].assign(block, 0.0f);
        outF_[c].assign(block, 0.0f);
    }
}

long long BlockRenderer::run(FrameSource& source, FrameSink& sink, const Progress& progress,
                             const std::function<bool()>& shouldStop)
{
    host_.start(settings_.sampleRate, settings_.blockSize, settings_.doublePrecision);
    long long done = 0;
    double* in[kHostChannels] = {in_[0].data(), in_[1].data()};
    const double* out[kHostChannels] = {out_[0].data(), out_[1].data()};
    for (;;) {
        if (shouldStop && shouldStop()) break;
        const int frames = source.read(in, settings_.blockSize);
        if (frames <= 0) break;
        processBlock(frames);
        sink.write(out, frames);
        done += frames;
        if (progress) progress(done);
    }
    host_.stop();
    return done;
}

void BlockRenderer::processBlock(int frames)
{
    if (settings_.doublePrecision) {
        double* in[kHostChannels] = {in_[0].data(), in_[1].data()};
        double* out[kHostChannels] = {out_[0].data(), out_[1].data()};
        host_.process(in, out, frames);
        return;
    }
    // The 32-bit path narrows on the way in and widens on the way out, exactly
    // as a DAW with a 32-bit mix bus would.
    for (int c = 0; c < kHostChannels; ++c)
        std::transform(in_[c].begin(), in_[c].begin() + frames, inF_[c].begin(),
                       [](double x) { return static_cast<float>(x); });
    float* in[kHostChannels] = {inF_[0].data(), inF_[1].data()};
    float* out[kHostChannels] = {outF_[0].data(), outF_[1].data()};
    host_.process(in, out, frames);
    for (int c = 0; c < kHostChannels; ++c)
        std::copy(outF_[c].begin(), outF_[c].begin() + frames, out_[c].begin());
}

int MemorySource::read(double* const* planes, int frames)
{
    if (planes_.empty()) return 0;
    const std::size_t length = planes_[0].size();
    const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(frames), length - position_));
    for (int c = 0; c < kHostChannels; ++c) {
        const auto& plane = planes_[std::min<std::size_t>(static_cast<std::size_t>(c), planes_.size() - 1)];
        std::copy_n(plane.begin() + static_cast<std::ptrdiff_t>(position_), n, planes[c]);
    }
    position_ += static_cast<std::size_t>(n);
    return n;
}

void MemorySink::write(const double* const* source, int frames)
{
    for (int c = 0; c < kHostChannels; ++c) planes[c].insert(planes[c].end(), source[c], source[c] + frames);
}

std::vector<std::vector<double>> renderInMemory(PluginHost& host, const RenderSettings& settings,
                                                const std::vector<std::vector<double>>& input)
{
    MemorySource source(input);
    MemorySink sink;
    BlockRenderer(host, settings).run(source, sink);
    return {std::move(sink.planes[0]), std::move(sink.planes[1])};
}

}  // namespace valvora::render
