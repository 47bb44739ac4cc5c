#pragma once
// Applies taps 256-32767 of a 32768-tap impulse response (the owner applies
// the first 256 itself). Seven levels of doubling block size (128 .. 8192),
// each on its own worker thread with exactly one block of time to deliver;
// the calling thread only stores, reads and clears one sample per call and
// collects a level's results when its block boundary comes. The levels' block
// boundaries are staggered so that at most one level changes hands per 64
// samples, and collected results are added 64 samples at a time as they
// fall due.

#include <memory>
#include <vector>

#include "convolution/AlignedBuffer.h"
#include "convolution/ConvolutionWorker.h"
#include "platform/Threading.h"

namespace valvora {

class LongConvolver {
public:
    static constexpr int length = 32768;
    static constexpr int firstTap = 256;
    static constexpr int levelCount = 7;
    static constexpr int smallestBlock = 128;
    // The schedule's step: half the smallest block.
    static constexpr int tick = smallestBlock / 2;

    // Host thread: allocates everything; no worker runs until load().
    // Throws std::bad_alloc.
    LongConvolver();
    ~LongConvolver();
    LongConvolver(const LongConvolver&) = delete;
    LongConvolver& operator=(const LongConvolver&) = delete;

    // The processing thread: stops the workers, restarts from silence with
    // taps 256-32767 of `ir` (32768 floats), starts the workers. Allocates nothing.
    void load(const float* ir) noexcept;
    // Audio thread: one sample in, one out. The output for the input of time t
    // is the response's sum for time t + 1, so a tap at 256 delays by 255.
    float process(float x) noexcept;

    int runningWorkers() const noexcept;

private:
    void stopWorkers() noexcept;
    void reset() noexcept;
    [[gnu::noinline]] float serviceTick(int next) noexcept;
    float takeOutput(int next) noexcept
    {
        const float y = outRing_[next];
        outRing_[next] = 0.0f;
        return y;
    }
    void serviceLevel(int next) noexcept;
    void collectPieces() noexcept;

    // The part of a level's collected result still to be added to the output ring.
    struct Pending {
        const float* values = nullptr;
        int position = 0;
        int remaining = 0;
    };

    AlignedBuffer<float> ring_;  // each sample at p and p + 32768
    AlignedBuffer<float> outRing_;
    AlignedBuffer<float> scratch_;
    int position_ = 0;
    int counter_ = 0;
    platform::Event quit_{platform::Event::Reset::Manual};
    std::vector<std::unique_ptr<ConvolutionWorker>> workers_;
    Pending pending_[levelCount];
};

}  // namespace valvora
