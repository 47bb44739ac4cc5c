#include "convolution/ShortConvolver.h"

#include <algorithm>
#include <new>

#include "convolution/FftPlan.h"
#include "convolution/SimdFloat.h"

namespace valvora {

ShortConvolver::SyncLevel::SyncLevel(int blockSize)
    : block(blockSize), fft(RealFft::require(2 * blockSize)), plan(fft->plan()), slot(*fft)
{
}

// The spectrum stays packed between the transforms (see PackedProduct).
void ShortConvolver::SyncLevel::compute(const float* window) noexcept
{
    plan.forwardPacked(window);
    plan.multiplyPacked(slot.spectrum());
    plan.inversePacked(slot.output());
}

ShortConvolver::ShortConvolver()
    : ring_(2 * length),
      asyncRing_(length),
      scratch_(length),
      direct_(directTaps),
      history_(4 * historyPhaseFloats),
      levels_{SyncLevel(64), SyncLevel(128), SyncLevel(256)},
      worker_(asyncBlock, quit_)
{
    if (!quit_.valid()) throw std::bad_alloc();
    reset();
}

ShortConvolver::~ShortConvolver()
{
    stopWorker();
}

void ShortConvolver::stopWorker() noexcept
{
    quit_.set();
    worker_.joinThread();
    quit_.reset();
}

void ShortConvolver::reset() noexcept
{
    ring_.clear();
    history_.clear();
    recent_ = simd::broadcast(0.0f);
    asyncRing_.clear();
    scratch_.clear();
    position_ = 0;
    for (auto& level : levels_) level.slot.reset();
    worker_.reset();
}

void ShortConvolver::load(const float* ir) noexcept
{
    stopWorker();
    reset();
    // Stored reversed (tap 63 first) to match the history's oldest-first vectors.
    for (int k = 0; k < directTaps; ++k) direct_[directTaps - 1 - k] = ir[k];
    for (auto& level : levels_) level.slot.load(*level.fft, ir + level.block, scratch_.data());
    worker_.load(ir + 2 * asyncBlock, scratch_.data());
    worker_.startThread();
}

float ShortConvolver::process(float x) noexcept
{
    const int w = position_;
    float* ring = ring_.data();
    ring[w] = x;
    ring[w + length] = x;

    // Taps 0-63 come from whole vectors of the four newest samples, each
    // written once as a vector: a vector load over a sample stored a moment
    // ago as a scalar would stall on store forwarding every call.
    const simd::Float4 newestFour = __builtin_shuffle(recent_, simd::broadcast(x), simd::Int4{1, 2, 3, 4});
    recent_ = newestFour;
    float* phase = history_.data() + (w & 3) * historyPhaseFloats;
    const int slot = (w >> 2) & (historySlots - 1);
    simd::store(phase + 4 * slot, newestFour);
    simd::store(phase + 4 * (slot + historySlots), newestFour);
    // Oldest first: vector i holds x(t - 4(15 - i) - 3) .. x(t - 4(15 - i)).
    const float* v = phase + 4 * (slot + 1);
    const float* h = direct_.data();
    simd::Float4 s0 = simd::load(v) * simd::load(h);
    simd::Float4 s1 = simd::load(v + 4) * simd::load(h + 4);
    simd::Float4 s2 = simd::load(v + 8) * simd::load(h + 8);
    simd::Float4 s3 = simd::load(v + 12) * simd::load(h + 12);
    for (int k = 16; k < directTaps; k += 16) {
        s0 += simd::load(v + k) * simd::load(h + k);
        s1 += simd::load(v + k + 4) * simd::load(h + k + 4);
        s2 += simd::load(v + k + 8) * simd::load(h + k + 8);
        s3 += simd::load(v + k + 12) * simd::load(h + k + 12);
    }
    const simd::Float4 sum = (s0 + s1) + (s2 + s3);
    float y = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    y += levels_[0].slot.output()[64 + (w & 63)] + asyncRing_[w] + levels_[1].slot.output()[128 + (w & 127)] +
         levels_[2].slot.output()[256 + (w & 255)];

    const int next = (w + 1) & (length - 1);
    position_ = next;
    if (next & 63) return y;
    levels_[0].compute(ring + next + length - 128);
    if (next & 127) return y;
    levels_[1].compute(ring + next + length - 256);
    if (next & 255) return y;
    levels_[2].compute(ring + next + length - 512);

    // The worker's block is due now: the next 256 samples.
    worker_.waitDone();
    std::copy(worker_.result(), worker_.result() + asyncBlock, asyncRing_.data() + next);
    worker_.dispatch(ring + next + length - 512);
    return y;
}

}  // namespace valvora
