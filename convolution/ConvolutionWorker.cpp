#include "convolution/ConvolutionWorker.h"

#include <new>

#include "convolution/FftPlan.h"

namespace valvora {

ConvolutionWorker::ConvolutionWorker(int blockSize, platform::Event& quit, bool ownerTransforms, int banks)
    : blockSize_(blockSize),
      ownerTransforms_(ownerTransforms),
      quit_(quit),
      fft_(RealFft::require(2 * blockSize)),
      plan_(fft_->plan()),
      slotA_(*fft_, banks),
      slotB_(*fft_, banks),
      spectra_{AlignedBuffer<float>(plan_.packedFloats()), AlignedBuffer<float>(plan_.packedFloats()),
               AlignedBuffer<float>(ownerTransforms ? plan_.packedFloats() : 0)},
      spectrumCount_(ownerTransforms ? 3 : 2)
{
    if (!start_.valid() || !done_.valid()) throw std::bad_alloc();
    reset();
}

ConvolutionWorker::~ConvolutionWorker()
{
    thread_.join();
}

void ConvolutionWorker::reset() noexcept
{
    slotA_.reset();
    slotB_.reset();
    for (auto& spectrum : spectra_) spectrum.clear();
    current_ = 0;
    spectrum_ = 0;
    ownerSpectrum_ = 0;
    lastOutput_ = slotA_.output();
    outputPosition = -1;
    window_.store(nullptr, std::memory_order_relaxed);
    job_.store(noJob, std::memory_order_relaxed);
    // A start signal the stopped thread never took must not reach the next one.
    start_.reset();
    done_.set();
}

void ConvolutionWorker::load(const float* taps, float* scratch) noexcept
{
    slotA_.load(*fft_, taps, scratch);
    slotB_.load(*fft_, taps + blockSize_, scratch);
    reset();
}

void ConvolutionWorker::load(const float* taps, float* scratch, int bank) noexcept
{
    slotA_.load(*fft_, taps, scratch, bank);
    slotB_.load(*fft_, taps + blockSize_, scratch, bank);
    selectBank(bank);
}

void ConvolutionWorker::selectBank(int bank) noexcept
{
    slotA_.selectBank(bank);
    slotB_.selectBank(bank);
    reset();
}

void ConvolutionWorker::startThread() noexcept
{
    thread_.start(&ConvolutionWorker::threadEntry, this, platform::ThreadPriority::audio);
}

void ConvolutionWorker::joinThread() noexcept
{
    thread_.join();
}

void ConvolutionWorker::waitDone() noexcept
{
    done_.wait();
    delivered_.load(std::memory_order_acquire);
}

void ConvolutionWorker::dispatch(const float* window) noexcept
{
    if (handOver(window)) start_.set();
}

void ConvolutionWorker::dispatchWithoutWaking(const float* window) noexcept
{
    if (handOver(window)) start_.post();
}

bool ConvolutionWorker::handOver(const float* window) noexcept
{
    // The owner's next spectrum goes to the buffer after the one this block
    // reads as its own (the worker reads that one and the one before).
    if (ownerTransforms_) ownerSpectrum_ = (ownerSpectrum_ + 1) % spectrumCount_;
    if (!thread_.started()) {
        compute(window);
        done_.set();
        return false;
    }
    window_.store(window, std::memory_order_relaxed);
    job_.store(dispatched, std::memory_order_release);
    return true;
}

void ConvolutionWorker::threadEntry(void* self)
{
    static_cast<ConvolutionWorker*>(self)->run();
}

void ConvolutionWorker::run() noexcept
{
    while (platform::Event::waitEither(quit_, start_) == 1) {
        // At least at the audio thread's priority, which waits for this block.
        platform::followAudioThreadScheduling();
        // The blocks handed over with this one, smallest (due soonest) first.
        for (int i = 0; i < servedCount_; ++i) served_[i]->runIfDispatched();
        // A start signal whose block another thread took finds nothing here.
        runIfDispatched();
    }
}

bool ConvolutionWorker::runIfDispatched() noexcept
{
    unsigned expected = dispatched;
    if (!job_.compare_exchange_strong(expected, taken, std::memory_order_acquire, std::memory_order_relaxed))
        return false;
    const float* window = window_.load(std::memory_order_relaxed);
    if (window) compute(window);
    job_.store(noJob, std::memory_order_relaxed);
    delivered_.fetch_add(1, std::memory_order_release);
    done_.set();
    return true;
}

// Overlap-save: slot A on this window and slot B on the previous one cover
// the same output block, so their products add before one inverse transform;
// only its second half (indices B..2B-1) is valid. Spectra stay packed (see
// PackedProduct): the kept one is this window's, for the next block's slot B.
// An owner that transforms the same window itself stores its spectrum first.
void ConvolutionWorker::compute(const float* window) noexcept
{
    float* now = spectra_[spectrum_].data();
    const float* before = spectra_[(spectrum_ + spectrumCount_ - 1) % spectrumCount_].data();
    if (ownerTransforms_) {
        plan_.multiplyAddKept(now, before, slotA_.spectrum(), slotB_.spectrum());
    } else {
        plan_.forwardPacked(window);
        plan_.multiplyAddPacked(now, before, slotA_.spectrum(), slotB_.spectrum());
    }
    float* output = current_ ? slotB_.output() : slotA_.output();
    plan_.inversePacked(output);
    lastOutput_ = output;
    current_ ^= 1;
    spectrum_ = (spectrum_ + 1) % spectrumCount_;
}

}  // namespace valvora
