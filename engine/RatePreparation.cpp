#include "engine/RatePreparation.h"

#include <cmath>

namespace valvora {

RatePreparation::RatePreparation(const TriodeModel::Circuit& circuit)
    : circuit_(circuit), sets_(std::make_unique<Set[]>(3))
{
}

void RatePreparation::prepare(double rate) noexcept
{
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    // The engine's own arithmetic (AmpEngine::setRate, preampPeriod), so
    // that the periods and with them the tables are the same bits.
    const double period = 1.0 / rate;
    platform::ScopedLock hold(hostLock_);
    if (period == lastPrepared_) return;
    Set& set = sets_[hostIndex_];
    TriodeModel::Circuit c = circuit_;
    c.period = period;
    TriodeModel::build(set.host, c);
    c.period = period * 0.125;
    TriodeModel::build(set.preamp, c);
    set.hostPeriod = period;
    hostIndex_ = middle_.exchange(hostIndex_ | freshBit, std::memory_order_acq_rel) & 3;
    lastPrepared_ = period;
    prepared_.fetch_add(1, std::memory_order_relaxed);
}

const RatePreparation::Set* RatePreparation::find(double period) noexcept
{
    if (sets_[audioIndex_].hostPeriod == period) return &sets_[audioIndex_];
    if (middle_.load(std::memory_order_acquire) & freshBit) {
        audioIndex_ = middle_.exchange(audioIndex_, std::memory_order_acq_rel) & 3;
        if (sets_[audioIndex_].hostPeriod == period) return &sets_[audioIndex_];
    }
    return nullptr;
}

}  // namespace valvora
