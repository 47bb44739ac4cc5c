#pragma once
// What a sample rate needs that is too heavy for the audio thread, made ready
// on a host thread: the triode tables at the host period and at the 8x
// preamp period, so that the Oversample switch and a rate change the host
// announced swap ready tables instead of rebuilding them (1.5-2 ms of Newton
// solves, more than a whole block). Any plug-in wrapper calls prepare() where
// its host names the rate (VST 2: setSampleRate and resume; LV2: instantiate
// and activate); the engine looks the sets up in update().
//
// Three sets rotate between the two sides (a triple buffer): the audio
// thread reads one, the preparing thread writes another, and the third is
// the newest finished one, handed over with one atomic exchange each way.
// Neither side waits for the other, and the one the audio thread reads is
// never written.

#include <atomic>
#include <memory>

#include "engine/tone/TriodeModel.h"
#include "platform/Threading.h"

namespace valvora {

class RatePreparation {
public:
    struct Set {
        double hostPeriod = 0.0;  // 1 / rate; 0 while empty
        TriodeModel::Tables host;    // for the preamp at the host rate
        TriodeModel::Tables preamp;  // at 8x (host period / 8)
    };

    // Host thread: allocates the three sets (about 750 kB). Throws std::bad_alloc.
    explicit RatePreparation(const TriodeModel::Circuit& circuit);
    RatePreparation(const RatePreparation&) = delete;
    RatePreparation& operator=(const RatePreparation&) = delete;

    // Host threads (any number; they take turns): builds both table sets for
    // `rate` and hands them to the audio thread. Returns at once when that
    // rate is the last one prepared. Rates that are not finite and positive
    // are ignored. Heavy (about 3-4 ms); never blocks the audio thread.
    void prepare(double rate) noexcept;

    // Audio thread: the set for the host period `period` (1 / rate, computed
    // as the engine does), or null when no such set was prepared. A set
    // returned stays intact until the next find() call.
    const Set* find(double period) noexcept;

    // How many sets prepare() built (tests).
    unsigned preparedCount() const noexcept { return prepared_.load(std::memory_order_relaxed); }

private:
    static constexpr int freshBit = 4;

    TriodeModel::Circuit circuit_;
    std::unique_ptr<Set[]> sets_;
    platform::CriticalSection hostLock_;
    int hostIndex_ = 0;          // under hostLock_
    double lastPrepared_ = 0.0;  // under hostLock_: the host period last prepared
    std::atomic<int> middle_{1};  // index, with freshBit when the host left a new set
    int audioIndex_ = 2;         // audio thread only
    std::atomic<unsigned> prepared_{0};
};

}  // namespace valvora
