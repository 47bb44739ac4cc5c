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
    // banks: how many responses it keeps ready to switch between (1 or 2;
    // see loadBanks).
    explicit ShortConvolver(bool allowWide = true, int banks = 1);
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

    // The processing thread, before any processing (a convolver made with
    // two banks): transforms both responses (1024 taps each) into their
    // banks, takes bank 0 and starts the worker, as load(first) does.
    void loadBanks(const float* first, const float* second) noexcept;
    // The processing thread (the audio thread on a rate change across the
    // cabinet families): restarts from silence with the response of `bank`,
    // already transformed, with the worker kept running. Neither transforms
    // nor waits: the worker's part follows at the 256th sample, where the
    // per-sample path collects from it anyway. The output is the same as
    // after load() with that response, bit for bit.
    void selectBank(int bank) noexcept;
    int bank() const noexcept { return bank_; }
    // Audio thread: one sample in, one sample out. load() must come first.
    float process(float x) noexcept;

    bool workerRunning() const noexcept { return worker_.threadRunning(); }

    // Host thread, before processing: for two convolvers fed in the same
    // samples (the two channels of a stereo cabinet, `first` fed first),
    // hands both convolvers' blocks to this one's thread with one wake-up.
    // `first` then wakes its own thread only for a block that no thread took
    // within 64 samples of its wake-up (this one is not fed). Either may be
    // loaded again or destroyed first. Restarts this one's thread;
    // allocates nothing.
    void serveAlso(ShortConvolver& first) noexcept;

private:
    struct SyncLevel {
        SyncLevel(int block, int banks);
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
    void startWorker() noexcept;
    void stopServer() noexcept;
    void restartServer() noexcept;
    void reset() noexcept;
    void loadTaps(const float* ir) noexcept;
    void quiesceWorker() noexcept;
    void resetOwn() noexcept;  // reset() less the worker's part
    void finishBankSwitch() noexcept;
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
    AlignedBuffer<float> directBanks_;  // the same for each bank, when there are two
    // The direct part's input: for each sample t, the vector x(t-3) .. x(t),
    // kept in four rings by t mod 4 (each stored twice, so that the 16
    // vectors one dot product needs are contiguous).
    static constexpr int historySlots = directTaps / 4;
    static constexpr int historyPhaseFloats = 2 * 4 * historySlots;
    AlignedBuffer<float> history_;
    simd::Float4 recent_{};
    int position_ = 0;
    bool loaded_ = false;  // load() ran: reload() starts no thread
    int banks_;
    int bank_ = 0;
    int pendingBank_ = -1;  // the worker's part of selectBank() still to do
    SyncLevel levels_[3];
    platform::Event quit_{platform::Event::Reset::Manual};
    ConvolutionWorker worker_;
    ShortConvolver* served_ = nullptr;  // whose blocks our thread also computes
    ShortConvolver* server_ = nullptr;  // whose thread computes ours
    ConvolutionWorker* servedList_[1] = {};
    bool servedElsewhere_ = false;  // server_'s thread runs: ours is not woken
};

}  // namespace valvora
