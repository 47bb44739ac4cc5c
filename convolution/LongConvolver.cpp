#include "convolution/LongConvolver.h"

#include <bit>
#include <new>

namespace valvora {

LongConvolver::LongConvolver() : ring_(2 * length), outRing_(length), scratch_(2 * 8192)
{
    if (!quit_.valid()) throw std::bad_alloc();
    workers_.reserve(levelCount);
    for (int i = 0; i < levelCount; ++i)
        workers_.push_back(std::make_unique<ConvolutionWorker>(smallestBlock << i, quit_));
    reset();
}

LongConvolver::~LongConvolver()
{
    stopWorkers();
}

void LongConvolver::stopWorkers() noexcept
{
    // One manual-reset quit event reaches every worker; it is cleared only
    // after all of them have ended.
    quit_.set();
    for (auto& worker : workers_) worker->joinThread();
    quit_.reset();
}

void LongConvolver::reset() noexcept
{
    ring_.clear();
    outRing_.clear();
    scratch_.clear();
    position_ = 0;
    counter_ = 0;
    for (auto& piece : pending_) piece = Pending{};
    for (auto& worker : workers_) worker->reset();
}

void LongConvolver::load(const float* ir) noexcept
{
    stopWorkers();
    reset();
    // Level i (block B) holds taps [2B, 4B): slot A [2B, 3B), slot B [3B, 4B).
    for (auto& worker : workers_) worker->load(ir + 2 * worker->blockSize(), scratch_.data());
    for (auto& worker : workers_) worker->startThread();
}

int LongConvolver::runningWorkers() const noexcept
{
    int count = 0;
    for (const auto& worker : workers_) count += worker->threadRunning() ? 1 : 0;
    return count;
}

float LongConvolver::process(float x) noexcept
{
    const int w = position_;
    ring_[w] = x;
    ring_[w + length] = x;
    const int next = (w + 1) & (length - 1);
    position_ = next;
    // 32768 is a multiple of every block, so the schedule runs on across the wrap.
    counter_ = (counter_ + 1) & (length - 1);
    // Out of line and last, so that the per-sample path saves no registers.
    if ((counter_ & (tick - 1)) == 0) return serviceTick(next);
    return takeOutput(next);
}

float LongConvolver::serviceTick(int next) noexcept
{
    serviceLevel(next);
    collectPieces();
    return takeOutput(next);
}

// Level 0 fires on even ticks of 64 samples; level i >= 1 on the ticks whose
// count ends in exactly i one-bits (i.e. tick = 2^i - 1 mod 2^(i+1)), once
// every B samples. So no two levels ever fire on the same tick and the audio
// thread's share of the work (a wait, a collection and a wake-up) is spread
// evenly instead of piling up where the large blocks meet. Overlap-save does
// not care at which phase a level's blocks start: its window is always the 2B
// newest samples and its result is due B samples after the dispatch.
void LongConvolver::serviceLevel(int next) noexcept
{
    const unsigned t = static_cast<unsigned>(counter_) / tick;
    const int level = (t & 1) ? std::countr_one(t) : 0;
    if (level >= levelCount) return;
    ConvolutionWorker& worker = *workers_[level];
    const int b = worker.blockSize();
    worker.waitDone();
    if (worker.outputPosition >= 0) pending_[level] = {worker.result(), worker.outputPosition, b};
    worker.outputPosition = next + b;
    worker.dispatch(ring_.data() + length - 2 * b + next);
}

// A collected result is due from its first sample on, but only one tick at a
// time: adding each level's next 64 values per tick keeps the audio thread's
// cost per tick flat instead of adding a whole 8192-sample block at once. The
// last piece goes in just before the level's next collection, and the worker
// writes that next result into its other buffer meanwhile.
void LongConvolver::collectPieces() noexcept
{
    for (auto& piece : pending_) {
        if (piece.remaining == 0) continue;
        accumulateIntoRing(outRing_.data(), length, piece.position, piece.values, tick);
        piece.values += tick;
        piece.position = (piece.position + tick) & (length - 1);
        piece.remaining -= tick;
    }
}

}  // namespace valvora
