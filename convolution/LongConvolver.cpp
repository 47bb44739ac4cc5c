#include "convolution/LongConvolver.h"

#include <algorithm>
#include <bit>
#include <new>

namespace valvora {

LongConvolver::LongConvolver() : ring_(2 * length), outRing_(length), scratch_(2 * 8192)
{
    if (!quit_.valid()) throw std::bad_alloc();
    workers_.reserve(levelCount);
    for (int i = 0; i < levelCount; ++i)
        workers_.push_back(std::make_unique<ConvolutionWorker>(smallestBlock << i, quit_));
    buildServedLists();
    reset();
}

LongConvolver::~LongConvolver()
{
    stopWorkers();
    if (served_) {
        served_->server_ = nullptr;
        served_->servedElsewhere_ = false;
    }
    if (server_) {
        // Its threads must forget our workers before they go.
        server_->stopWorkers();
        server_->served_ = nullptr;
        server_->buildServedLists();
        server_->startWorkers();
    }
}

void LongConvolver::serveAlso(LongConvolver& first) noexcept
{
    if (&first == this || first.server_ || served_) return;
    stopWorkers();  // the threads read the lists built here
    served_ = &first;
    first.server_ = this;
    buildServedLists();
    startWorkers();
}

// Level k's thread computes, before its own block, the blocks of the levels
// below it (and of the served convolver's levels up to k), in the order they
// fall due: all of them fall due together with its own.
void LongConvolver::buildServedLists() noexcept
{
    for (int k = 0; k < levelCount; ++k) {
        int count = 0;
        for (int j = 0; j <= k && k < sharedLevels; ++j) {
            if (served_) servedLists_[k][count++] = served_->workers_[j].get();
            if (j < k) servedLists_[k][count++] = workers_[j].get();
        }
        workers_[k]->serveAlso(servedLists_[k], count);
    }
}

void LongConvolver::startWorkers() noexcept
{
    if (!loaded_) return;
    for (auto& worker : workers_) worker->startThread();
    grouped_ = runningWorkers() == levelCount;
    if (served_) served_->servedElsewhere_ = grouped_;
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
    owed_ = -1;
    for (auto& piece : pending_) piece = Pending{};
    for (auto& worker : workers_) worker->reset();
}

void LongConvolver::load(const float* ir) noexcept
{
    // The serving convolver's threads compute our blocks too: they stop
    // while ours are replaced.
    if (server_) server_->stopWorkers();
    stopWorkers();
    reset();
    // Level i (block B) holds taps [2B, 4B): slot A [2B, 3B), slot B [3B, 4B).
    for (auto& worker : workers_) worker->load(ir + 2 * worker->blockSize(), scratch_.data());
    loaded_ = true;
    startWorkers();
    if (server_) server_->startWorkers();
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
    const unsigned t = static_cast<unsigned>(counter_) / tick;
    if ((t & 1) == 0) {
        // The shared levels fire every B samples; at a multiple of 2^k * 128
        // levels 0..k all do (32768, where the counter wraps to 0, is a
        // multiple of all).
        const int zeros = counter_ ? std::countr_zero(static_cast<unsigned>(counter_)) : 31;
        serviceSharedLevels(
            next, std::min(zeros - std::countr_zero(static_cast<unsigned>(smallestBlock)), sharedLevels - 1));
    } else {
        // A large level i on the ticks whose count ends in exactly i one-bits
        // (tick = 2^i - 1 mod 2^(i+1)): once every B samples, never on the
        // same tick as another level, so that the audio thread wakes at most
        // one thread per tick.
        const int level = std::countr_one(t);
        if (level >= sharedLevels && level < levelCount) serviceLevel(next, level, true);
        if (owed_ >= 0) {
            // Blocks left for the serving convolver's threads that none of
            // them took within a tick (it is not fed, or not yet): our own
            // threads take them, with half of level 0's block period to go.
            for (int l = 0; l <= owed_; ++l) workers_[l]->wakeIfUntaken();
            owed_ = -1;
        }
    }
    collectPieces();
    return takeOutput(next);
}

// Collects level's last block and hands it the next. Overlap-save does not
// care at which phase a level's blocks start, nor which thread computes
// them: the window is always the 2B newest samples and the result is due B
// samples after the dispatch.
void LongConvolver::serviceLevel(int next, int level, bool wake) noexcept
{
    ConvolutionWorker& worker = *workers_[level];
    const int b = worker.blockSize();
    worker.waitDone();
    if (worker.outputPosition >= 0) pending_[level] = {worker.result(), worker.outputPosition, b};
    worker.outputPosition = next + b;
    const float* window = ring_.data() + length - 2 * b + next;
    if (wake)
        worker.dispatch(window);
    else
        worker.dispatchWithoutWaking(window);
}

// The shared levels 0..top in increasing order, but only the last one's
// thread is woken: it computes the smaller levels' blocks first (the one due
// soonest first), then its own, so that one wake-up starts them all. Each of
// their threads still leads the blocks where it is the largest level, so
// each is woken about once per two of its blocks. A convolver served by
// another (see serveAlso) wakes none of them: the other one's thread, woken
// a moment later in the same frame, computes both convolvers' blocks.
// Without all threads running (one failed to start), each level is woken
// for itself.
void LongConvolver::serviceSharedLevels(int next, int top) noexcept
{
    for (int level = 0; level <= top; ++level)
        serviceLevel(next, level, !servedElsewhere_ && (level == top || !grouped_));
    if (servedElsewhere_) owed_ = top;
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
