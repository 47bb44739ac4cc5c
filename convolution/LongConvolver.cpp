#include "convolution/LongConvolver.h"

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
    ++counter_;
    if ((counter_ & (smallestBlock - 1)) == 0) serviceLevels(next);
    // 32768 is a multiple of every block, so the schedule runs on across the wrap.
    counter_ &= length - 1;
    const float y = outRing_[next];
    outRing_[next] = 0.0f;
    return y;
}

void LongConvolver::serviceLevels(int next) noexcept
{
    for (auto& worker : workers_) {
        const int b = worker->blockSize();
        if (counter_ < b) break;
        if (counter_ & (b - 1)) continue;
        worker->waitDone();
        if (worker->outputPosition >= 0)
            accumulateIntoRing(outRing_.data(), length, worker->outputPosition, worker->result(), b);
        worker->outputPosition = next + b;
        worker->dispatch(ring_.data() + length - 2 * b + next);
    }
}

}  // namespace valvora
