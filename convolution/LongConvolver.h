#pragma once
// Applies taps 256-32767 of a 32768-tap impulse response (the owner applies
// the first 256 itself). Seven levels of doubling block size (128 .. 8192),
// each on its own worker thread with exactly one block of time to deliver;
// the calling thread only stores, reads and clears one sample per call and
// collects a level's results when its block boundary comes. The four small
// levels' blocks that fall due at the same sample are handed over with one
// wake-up; the large levels' boundaries are staggered so that each has a
// 64-sample tick of its own; collected results are added 64 samples at a
// time as they fall due.

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
    // The levels whose blocks share wake-ups (blocks 128 .. 1024): for them
    // a wake-up costs more than the transforms. The larger ones are woken
    // each for itself, on ticks of their own.
    static constexpr int sharedLevels = 4;

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

    // Host thread, before processing: for two convolvers fed in the same
    // samples (the two channels of a stereo reverb, `first` fed first),
    // hands both convolvers' blocks that fall due together to one thread of
    // this one, with one wake-up. `first` then wakes none of its own threads
    // for them, except for blocks no thread took within 64 samples (this
    // one is not fed). Either may be loaded again or destroyed first.
    // Restarts this one's threads; allocates nothing.
    void serveAlso(LongConvolver& first) noexcept;

private:
    void stopWorkers() noexcept;
    void startWorkers() noexcept;
    void buildServedLists() noexcept;
    void reset() noexcept;
    [[gnu::noinline]] float serviceTick(int next) noexcept;
    float takeOutput(int next) noexcept
    {
        const float y = outRing_[next];
        outRing_[next] = 0.0f;
        return y;
    }
    void serviceLevel(int next, int level, bool wake) noexcept;
    void serviceSharedLevels(int next, int top) noexcept;
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
    // For each level's thread: the other blocks it computes before its own.
    ConvolutionWorker* servedLists_[levelCount][2 * levelCount] = {};
    bool loaded_ = false;
    bool grouped_ = false;             // every worker's thread runs: levels due together share one wake-up
    LongConvolver* served_ = nullptr;  // whose blocks our threads also compute
    LongConvolver* server_ = nullptr;  // whose threads compute ours
    bool servedElsewhere_ = false;     // server_'s threads all run: ours are not woken
    int owed_ = -1;                    // the largest level dispatched without a wake-up at the last group
    Pending pending_[levelCount];
};

}  // namespace valvora
