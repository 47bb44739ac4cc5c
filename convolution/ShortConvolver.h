#pragma once
// Applies a complete 1024-tap impulse response with no added latency: taps
// 0-63 as a direct FIR, taps 64-511 in three overlap-save levels (blocks of
// 64, 128 and 256) on the calling thread as soon as each block fills, and taps
// 512-1023 on one worker thread that has one 256-sample block of time to
// deliver.

#include <memory>

#include "convolution/AlignedBuffer.h"
#include "convolution/ConvolutionWorker.h"
#include "convolution/FftPlan.h"
#include "convolution/RealFft.h"
#include "convolution/SegmentSlot.h"
#include "convolution/SimdFloat.h"
#include "platform/Threading.h"

namespace valvora {

class ShortConvolver {
public:
    static constexpr int length = 1024;
    static constexpr int directTaps = 64;
    static constexpr int asyncBlock = 256;

    // Host thread: allocates everything; no worker runs until load(). The
    // direct taps use eight-float vectors where the processor has AVX2 and
    // FMA, unless allowWide is false. Throws std::bad_alloc.
    explicit ShortConvolver(bool allowWide = true);
    // Stops the worker; any thread that owns the object.
    ~ShortConvolver();
    ShortConvolver(const ShortConvolver&) = delete;
    ShortConvolver& operator=(const ShortConvolver&) = delete;

    // The processing thread (also the audio thread on a rate change): stops
    // the worker, restarts from silence with `ir` (1024 taps), starts the
    // worker again. Allocates nothing.
    void load(const float* ir) noexcept;
    // The processing thread (the audio thread on a rate change across the
    // cabinet families): the same as load(), with the worker kept running.
    // Waits for the block in flight (the wait the per-sample path makes at
    // every 256th sample), then reloads the spectra while the worker sleeps.
    // Allocates nothing; before the first load() it is load().
    void reload(const float* ir) noexcept;
    // Audio thread: one sample in, one sample out. load() must come first.
    float process(float x) noexcept;

    bool workerRunning() const noexcept { return worker_.threadRunning(); }

private:
    struct SyncLevel {
        explicit SyncLevel(int block);
        int block;
        std::unique_ptr<RealFft> fft;
        FftPlan& plan;
        SegmentSlot slot;
        // kept: see FftPlan::multiplyPacked.
        void compute(const float* window, float* kept = nullptr) noexcept;
    };

    // The smallest transformed block; the per-sample path runs between its boundaries.
    static constexpr int firstBlock = 64;

    void stopWorker() noexcept;
    void reset() noexcept;
    void loadTaps(const float* ir) noexcept;
    float processWide(float x) noexcept;
    const float* pushSample(float x, simd::Float4& newest) noexcept;
    float finishSample(float direct) noexcept;
    [[gnu::noinline]] float endBlock(int next, float y) noexcept;
    void sumBlockOutput(int next) noexcept;

    bool wide_;
    AlignedBuffer<float> ring_;       // each sample at p and p + 1024
    AlignedBuffer<float> asyncRing_;  // the worker's blocks, assigned whole
    // Until the next 64-sample boundary: every transformed level's output
    // summed, so that a sample adds one value to the direct taps, not four.
    AlignedBuffer<float> blockOutput_;
    AlignedBuffer<float> scratch_;
    AlignedBuffer<float> direct_;  // taps 0-63, newest-last order
    // The direct part's input: for each sample t, the vector x(t-3) .. x(t),
    // kept in four rings by t mod 4 (each stored twice, so that the 16
    // vectors one dot product needs are contiguous).
    static constexpr int historySlots = directTaps / 4;
    static constexpr int historyPhaseFloats = 2 * 4 * historySlots;
    AlignedBuffer<float> history_;
    simd::Float4 recent_{};
    int position_ = 0;
    bool loaded_ = false;  // load() ran: reload() starts no thread
    SyncLevel levels_[3];
    platform::Event quit_{platform::Event::Reset::Manual};
    ConvolutionWorker worker_;
};

}  // namespace valvora
