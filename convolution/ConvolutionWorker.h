#pragma once
// One asynchronous level of a partitioned convolver: two IR segments of B taps
// (slot A and the following slot B), an FFT of 2B points and a thread that
// turns the 2B newest input samples into the level's next output block while
// the audio thread plays the previous one. Slot B's part of that block comes
// from the window one block older, whose transform the worker kept, so each
// block costs one forward and one inverse transform (only the inverse where
// the owner has transformed the same window already and hands its spectrum
// over). Hand-off is one auto-reset event each way; the audio thread waits
// on `done` only when the result is due.
//
// A dispatched block is a job any of its owner's workers may take: the
// thread woken for it (or one already awake) claims it, so an owner whose
// levels fall due at the same sample can start them all with one wake-up
// (see serveAlso). Waking a sleeping thread costs more than a small level's
// transforms on the machines we measured; computing a few small blocks more
// on a thread that is awake anyway costs less.

#include <atomic>
#include <cstdint>
#include <memory>

#include "convolution/AlignedBuffer.h"
#include "convolution/FftPlan.h"
#include "convolution/RealFft.h"
#include "convolution/SegmentSlot.h"
#include "platform/Threading.h"

namespace valvora {

class ConvolutionWorker {
public:
    // Host thread: buffers, FFT and events; no thread yet. With
    // ownerTransforms, the owner hands over each window's packed spectrum
    // (see nextSpectrum) along with the window. Throws std::bad_alloc, also
    // when an event cannot be created.
    // banks: how many segment spectra each slot keeps ready (1 or 2; see
    // SegmentSlot).
    ConvolutionWorker(int blockSize, platform::Event& quit, bool ownerTransforms = false, int banks = 1);
    ~ConvolutionWorker();
    ConvolutionWorker(const ConvolutionWorker&) = delete;
    ConvolutionWorker& operator=(const ConvolutionWorker&) = delete;

    // Owner's thread, with the thread stopped: computes both segment spectra
    // (taps: 2B values, slot A's then slot B's), clears the pending results,
    // forgets the window and leaves `done` signalled so that the first
    // collection finds zeros without waiting.
    void load(const float* taps, float* scratch) noexcept;
    // load() into `bank` of the slots, which then is the one in use.
    void load(const float* taps, float* scratch, int bank) noexcept;
    // Owner's thread, with no block in flight (after waitDone()): uses the
    // spectra loaded into `bank` from now on and clears as reset() does.
    void selectBank(int bank) noexcept;
    void reset() noexcept;
    // Owner's thread. A worker that cannot be started leaves the level
    // computed inline by dispatch(), so the sound stays right.
    void startThread() noexcept;
    // Call after the owner's quit event is set: waits for the thread to end.
    void joinThread() noexcept;
    // Owner's thread, before startThread(): whenever this worker's thread is
    // woken it first computes every dispatched block of `smaller` not yet
    // taken (in the order given, which should be the order they fall due),
    // then its own. The owner dispatches those blocks without waking their
    // threads, and only where this worker's block is dispatched together
    // with them; the workers must belong to the same owner (their threads
    // start and stop together).
    void serveAlso(ConvolutionWorker* const* smaller, int count) noexcept
    {
        served_ = smaller;
        servedCount_ = count;
    }
    bool threadRunning() const noexcept { return thread_.started(); }

    // Audio thread: waits until the last dispatched block is delivered.
    void waitDone() noexcept;
    // Audio thread: hands over the 2B newest samples (they stay untouched for
    // B more samples) and lets the worker run.
    void dispatch(const float* window) noexcept;
    // The same, except that a worker asleep is not woken until wake(). The
    // wake-up is a system call that costs more than a small level's
    // transforms; an owner whose dispatching block is its heaviest can move it
    // into a lighter one, as long as the worker keeps enough of its block
    // period to deliver.
    void dispatchWithoutWaking(const float* window) noexcept;
    void wake() noexcept { start_.wakeSleepers(); }
    // Audio thread: wake() only while the dispatched block is still waiting
    // for a thread to take it; otherwise no system call.
    void wakeIfUntaken() noexcept
    {
        if (job_.load(std::memory_order_relaxed) == dispatched) start_.wakeSleepers();
    }

    // Audio thread, when the owner transforms: where it stores the packed
    // spectrum (FftPlan::multiplyPacked's `kept`, from a plan of this size)
    // of the window it dispatches next. A third buffer keeps it apart from
    // the two the worker may still be reading, so the owner can write it
    // before it waits for the block in flight.
    float* nextSpectrum() noexcept { return spectra_[ownerSpectrum_].data(); }

    int blockSize() const noexcept { return blockSize_; }
    // After waitDone(): the B output samples due from one block after the
    // last dispatch on (both segments summed). Results alternate between the
    // two slots' output buffers, so this one stays intact while the worker
    // computes the next: the owner may collect it piece by piece during the
    // following block.
    const float* result() const noexcept { return lastOutput_ + blockSize_; }
    // Where the owner adds result() next; -1 while nothing is pending.
    std::int32_t outputPosition = -1;

private:
    static void threadEntry(void* self);
    void run() noexcept;
    void compute(const float* window) noexcept;
    // Any of the owner's worker threads: computes the dispatched block if no
    // other thread has taken it yet; false when there was none to take.
    bool runIfDispatched() noexcept;
    // False when there is no thread and the block was computed inline.
    bool handOver(const float* window) noexcept;

    int blockSize_;
    bool ownerTransforms_;
    platform::Event& quit_;
    std::unique_ptr<RealFft> fft_;
    FftPlan& plan_;
    SegmentSlot slotA_;
    SegmentSlot slotB_;
    // The windows' spectra, in turn: the worker's current one, the one before
    // it and (with ownerTransforms) the owner's next one.
    AlignedBuffer<float> spectra_[3];
    int spectrumCount_;
    int spectrum_ = 0;       // the worker's next
    int ownerSpectrum_ = 0;  // the owner's next
    int current_ = 0;        // which slot's output buffer the next result goes to
    const float* lastOutput_ = nullptr;
    platform::Event start_{platform::Event::Reset::Automatic};
    platform::Event done_{platform::Event::Reset::Automatic};
    // The events order the hand-off on both platforms; these atomics state the
    // same ordering in C++ terms (and let ThreadSanitizer see it).
    std::atomic<const float*> window_{nullptr};
    std::atomic<unsigned> delivered_{0};
    // The dispatched block's state: who takes it is settled by one exchange.
    enum Job : unsigned { noJob, dispatched, taken };
    std::atomic<unsigned> job_{noJob};
    ConvolutionWorker* const* served_ = nullptr;
    int servedCount_ = 0;
    platform::Thread thread_;
};

}  // namespace valvora
