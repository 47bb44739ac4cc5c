#include "convolution/ShortConvolver.h"

#include <immintrin.h>

#include <algorithm>
#include <new>

#include "convolution/FftPlan.h"
#include "convolution/FftWideKernels.h"
#include "convolution/SimdFloat.h"

namespace valvora {

ShortConvolver::SyncLevel::SyncLevel(int blockSize, int banks)
    : block(blockSize), fft(RealFft::require(2 * blockSize)), plan(fft->plan()), slot(*fft, banks)
{
}

// The spectrum stays packed between the transforms (see PackedProduct).
void ShortConvolver::SyncLevel::compute(const float* window, float* kept) noexcept
{
    plan.forwardPacked(window);
    plan.multiplyPacked(slot.spectrum(), kept);
    plan.inversePacked(slot.output());
}

ShortConvolver::ShortConvolver(bool allowWide, int banks)
    : wide_(allowWide && wide::available()),
      ring_(2 * length),
      asyncRing_(length),
      blockOutput_(firstBlock),
      scratch_(length),
      direct_(directTaps),
      directBanks_(banks > 1 ? 2 * directTaps : 0),
      history_(4 * historyPhaseFloats),
      banks_(banks > 1 ? 2 : 1),
      levels_{SyncLevel(64, banks_), SyncLevel(128, banks_), SyncLevel(256, banks_)},
      worker_(asyncBlock, quit_, true, banks_)
{
    if (!quit_.valid()) throw std::bad_alloc();
    reset();
}

ShortConvolver::~ShortConvolver()
{
    stopWorker();
    if (served_) {
        served_->server_ = nullptr;
        served_->servedElsewhere_ = false;
    }
    if (server_) {
        // Its thread must forget our worker before it goes.
        server_->stopWorker();
        server_->served_ = nullptr;
        server_->worker_.serveAlso(nullptr, 0);
        server_->startWorker();
    }
}

void ShortConvolver::serveAlso(ShortConvolver& first) noexcept
{
    if (&first == this || first.server_ || served_) return;
    stopWorker();  // the thread reads the list set here
    served_ = &first;
    first.server_ = this;
    servedList_[0] = &first.worker_;
    worker_.serveAlso(servedList_, 1);
    startWorker();
}

void ShortConvolver::startWorker() noexcept
{
    if (!loaded_) return;
    worker_.startThread();
    if (served_) served_->servedElsewhere_ = worker_.threadRunning();
}

// The serving convolver's thread computes our blocks too: it stops while
// ours is replaced.
void ShortConvolver::stopServer() noexcept
{
    if (server_) server_->stopWorker();
}

void ShortConvolver::restartServer() noexcept
{
    if (server_) server_->startWorker();
}

void ShortConvolver::stopWorker() noexcept
{
    quit_.set();
    worker_.joinThread();
    quit_.reset();
}

void ShortConvolver::reset() noexcept
{
    resetOwn();
    worker_.reset();
}

void ShortConvolver::resetOwn() noexcept
{
    ring_.clear();
    history_.clear();
    recent_ = simd::broadcast(0.0f);
    asyncRing_.clear();
    blockOutput_.clear();
    scratch_.clear();
    position_ = 0;
    for (auto& level : levels_) level.slot.reset();
}

void ShortConvolver::load(const float* ir) noexcept
{
    stopServer();
    stopWorker();
    reset();
    pendingBank_ = -1;
    loadTaps(ir);
    loaded_ = true;
    startWorker();
    restartServer();
}

void ShortConvolver::reload(const float* ir) noexcept
{
    if (!loaded_) {
        load(ir);
        return;
    }
    quiesceWorker();
    reset();
    pendingBank_ = -1;
    loadTaps(ir);
}

void ShortConvolver::quiesceWorker() noexcept
{
    // Outside endBlock() one block is always in flight or delivered and not
    // yet collected: taking it leaves the worker idle until the next dispatch.
    // (Without a thread, the levels are computed inline and nothing waits.)
    worker_.wake();
    worker_.waitDone();
}

void ShortConvolver::loadBanks(const float* first, const float* second) noexcept
{
    stopServer();
    stopWorker();
    reset();
    const float* responses[2] = {first, second};
    for (int b = banks_ - 1; b >= 0; --b) {
        const float* ir = responses[b];
        for (int k = 0; k < directTaps; ++k) direct_[directTaps - 1 - k] = ir[k];
        if (banks_ > 1) std::copy(direct_.data(), direct_.data() + directTaps, directBanks_.data() + b * directTaps);
        for (auto& level : levels_) level.slot.load(*level.fft, ir + level.block, scratch_.data(), b);
        worker_.load(ir + 2 * asyncBlock, scratch_.data(), b);
    }
    for (auto& level : levels_) level.slot.selectBank(0);
    bank_ = 0;
    pendingBank_ = -1;
    loaded_ = true;
    startWorker();
    restartServer();
}

void ShortConvolver::selectBank(int bank) noexcept
{
    if (banks_ < 2) return;
    bank = bank ? 1 : 0;
    // Everything of the calling thread's restarts now. The worker's part
    // restarts where the per-sample path first collects from it (sample 256):
    // the block it may be computing now is finished by then, so nothing
    // waits for it, and until then its results are not read.
    resetOwn();
    std::copy(directBanks_.data() + bank * directTaps, directBanks_.data() + (bank + 1) * directTaps, direct_.data());
    for (auto& level : levels_) level.slot.selectBank(bank);
    pendingBank_ = bank;
    bank_ = bank;
}

void ShortConvolver::finishBankSwitch() noexcept
{
    // The block in flight at selectBank() was woken at sample 64 (posted
    // without waking or not, the 64th sample's wake-up reaches it) and has
    // had 192 samples since: collecting it rarely waits and needs no
    // wake-up. Then the same state as after load() and its first collection.
    worker_.waitDone();
    worker_.selectBank(pendingBank_);
    pendingBank_ = -1;
}

void ShortConvolver::loadTaps(const float* ir) noexcept
{
    // Stored reversed (tap 63 first) to match the history's oldest-first vectors.
    for (int k = 0; k < directTaps; ++k) direct_[directTaps - 1 - k] = ir[k];
    for (auto& level : levels_) level.slot.load(*level.fft, ir + level.block, scratch_.data());
    worker_.load(ir + 2 * asyncBlock, scratch_.data());
}

namespace {

// The direct taps: the 64 history values v (oldest first, 16-byte aligned)
// times the reversed taps h (64-byte aligned), summed. The newest four come
// from the register they were just stored from: a wider load across that
// store could not be forwarded from it and would wait for the cache.
struct NarrowTaps {
    static float sum(const float* v, simd::Float4 newest, const float* h) noexcept
    {
        simd::Float4 s0 = simd::load(v) * simd::load(h);
        simd::Float4 s1 = simd::load(v + 4) * simd::load(h + 4);
        simd::Float4 s2 = simd::load(v + 8) * simd::load(h + 8);
        simd::Float4 s3 = simd::load(v + 12) * simd::load(h + 12);
#pragma GCC unroll 4
        for (int k = 16; k < ShortConvolver::directTaps - 16; k += 16) {
            s0 += simd::load(v + k) * simd::load(h + k);
            s1 += simd::load(v + k + 4) * simd::load(h + k + 4);
            s2 += simd::load(v + k + 8) * simd::load(h + k + 8);
            s3 += simd::load(v + k + 12) * simd::load(h + k + 12);
        }
        s0 += simd::load(v + 48) * simd::load(h + 48);
        s1 += simd::load(v + 52) * simd::load(h + 52);
        s2 += simd::load(v + 56) * simd::load(h + 56);
        s3 += newest * simd::load(h + 60);
        const simd::Float4 sum = (s0 + s1) + (s2 + s3);
        return (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }
};

// The same with eight lanes and fused multiply-adds, where the processor
// has AVX2 and FMA.
struct WideTaps {
    [[gnu::target("avx2,fma"), gnu::always_inline]] static float sum(const float* v, simd::Float4 newest,
                                                                     const float* h) noexcept
    {
        __m256 s0 = _mm256_mul_ps(_mm256_loadu_ps(v), _mm256_load_ps(h));
        __m256 s1 = _mm256_mul_ps(_mm256_loadu_ps(v + 8), _mm256_load_ps(h + 8));
        __m256 s2 = _mm256_mul_ps(_mm256_loadu_ps(v + 16), _mm256_load_ps(h + 16));
        __m256 s3 = _mm256_mul_ps(_mm256_loadu_ps(v + 24), _mm256_load_ps(h + 24));
        s0 = _mm256_fmadd_ps(_mm256_loadu_ps(v + 32), _mm256_load_ps(h + 32), s0);
        s1 = _mm256_fmadd_ps(_mm256_loadu_ps(v + 40), _mm256_load_ps(h + 40), s1);
        s2 = _mm256_fmadd_ps(_mm256_loadu_ps(v + 48), _mm256_load_ps(h + 48), s2);
        s3 = _mm256_fmadd_ps(_mm256_set_m128(newest, _mm_load_ps(v + 56)), _mm256_load_ps(h + 56), s3);
        const __m256 s = _mm256_add_ps(_mm256_add_ps(s0, s1), _mm256_add_ps(s2, s3));
        __m128 q = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
        q = _mm_add_ps(q, _mm_movehl_ps(q, q));
        q = _mm_add_ss(q, _mm_shuffle_ps(q, q, 1));
        return _mm_cvtss_f32(q);
    }
};

}  // namespace

float ShortConvolver::process(float x) noexcept
{
    if (wide_) return processWide(x);
    simd::Float4 newest;
    const float* history = pushSample(x, newest);
    return finishSample(NarrowTaps::sum(history, newest, direct_.data()));
}

[[gnu::target("avx2,fma")]] float ShortConvolver::processWide(float x) noexcept
{
    simd::Float4 newest;
    const float* history = pushSample(x, newest);
    return finishSample(WideTaps::sum(history, newest, direct_.data()));
}

// Stores x and returns the direct taps' history, oldest first: vector i holds
// x(t - 4(15 - i) - 3) .. x(t - 4(15 - i)); the last of them is also `newest`.
[[gnu::always_inline]] inline const float* ShortConvolver::pushSample(float x, simd::Float4& newest) noexcept
{
    const int w = position_;
    float* ring = ring_.data();
    ring[w] = x;
    ring[w + length] = x;
    // The history holds whole vectors of the four newest samples, each written
    // once as a vector: a vector load over a sample stored a moment ago as a
    // scalar would stall on store forwarding every call.
    const simd::Float4 newestFour = __builtin_shuffle(recent_, simd::broadcast(x), simd::Int4{1, 2, 3, 4});
    recent_ = newestFour;
    float* phase = history_.data() + (w & 3) * historyPhaseFloats;
    const int slot = (w >> 2) & (historySlots - 1);
    simd::store(phase + 4 * slot, newestFour);
    simd::store(phase + 4 * (slot + historySlots), newestFour);
    newest = newestFour;
    return phase + 4 * (slot + 1);
}

// Adds the transformed levels' share to the direct taps' sum and moves on.
[[gnu::always_inline]] inline float ShortConvolver::finishSample(float direct) noexcept
{
    const int w = position_;
    const float y = direct + blockOutput_[w & (firstBlock - 1)];
    const int next = (w + 1) & (length - 1);
    position_ = next;
    if (next & (firstBlock - 1)) return y;
    // Out of line and last, so that the per-sample path saves no registers.
    return endBlock(next, y);
}

float ShortConvolver::endBlock(int next, float y) noexcept
{
    float* ring = ring_.data();
    levels_[0].compute(ring + next + length - 128);
    if ((next & 127) == 0) levels_[1].compute(ring + next + length - 256);
    if ((next & 255) == 0) {
        if (pendingBank_ >= 0) finishBankSwitch();
        // Level 2's window (the 512 newest samples) is also the worker's next
        // one: level 2 hands it its transform.
        levels_[2].compute(ring + next + length - 512, worker_.nextSpectrum());
        // The worker's block is due now: the next 256 samples.
        worker_.waitDone();
        std::copy(worker_.result(), worker_.result() + asyncBlock, asyncRing_.data() + next);
        // Waking the sleeping worker is a system call that can cost as much
        // as this block's three transforms together, and this block is
        // already the heaviest. The next one has only level 0 to do; the
        // worker still has 192 samples to deliver.
        worker_.dispatchWithoutWaking(ring + next + length - 512);
    } else if ((next & 255) == firstBlock) {
        // A convolver served by another leaves the wake-up to it: the other
        // one's thread, woken here a moment later in the same frame,
        // computes both blocks.
        if (!servedElsewhere_) worker_.wake();
    } else if ((next & 255) == 2 * firstBlock && servedElsewhere_) {
        // Not taken by the other one's thread (it is not fed): our own takes
        // it, with 128 samples still to go.
        worker_.wakeIfUntaken();
    }
    sumBlockOutput(next);
    return y;
}

// The transformed levels' and the worker's share of the next 64 outputs, in
// the order of the per-sample sum they replace: ((L0 + async) + L1) + L2.
void ShortConvolver::sumBlockOutput(int next) noexcept
{
    const float* l0 = levels_[0].slot.output() + 64;
    const float* l1 = levels_[1].slot.output() + 128 + (next & 127);
    const float* l2 = levels_[2].slot.output() + 256 + (next & 255);
    const float* async = asyncRing_.data() + next;
    float* out = blockOutput_.data();
    for (int j = 0; j < firstBlock; j += 4) {
        const simd::Float4 sum =
            ((simd::load(l0 + j) + simd::load(async + j)) + simd::load(l1 + j)) + simd::load(l2 + j);
        simd::store(out + j, sum);
    }
}

}  // namespace valvora
