#pragma once
// The hand-off of parameter changes from the host's threads to the audio
// thread: the parameter values and the mask of those changed since the audio
// thread last took them; bit 10 also marks a change of sample rate. Writers
// are serialised by the format's own lock (held around beginChange ..
// endChange); the audio thread takes the changes without any lock: a sequence
// count (a seqlock's) tells it when a writer is inside a change, such as a
// program switch, and it then leaves them to a later block. Nothing waits.

#include <atomic>
#include <cstdint>

#include "core/Parameters.h"

namespace valvora {

struct ParamSnapshot {
    // Writers, with their lock held. Changes nest (a program switch sets
    // every parameter); the audio thread sees none of them until the
    // outermost change ends.
    void beginChange() noexcept;
    void endChange() noexcept;
    // Inside a change. index 0..13.
    void store(int index, float value) noexcept;
    void storeRate(float rate) noexcept;

    // The latest value set; any thread. index 0..13.
    float value(int index) const noexcept { return paramValues[index].load(); }

    // Audio thread: the values, the rate and the mask of what changed, and
    // the mask cleared; a mask of 0 when nothing changed or a writer is busy
    // (its changes stay pending for a later call).
    std::int32_t take(float (&values)[parameterCount], float& rate) noexcept;

    std::atomic<float> paramValues[parameterCount] = {};
    std::atomic<float> rate{44100.0f};
    std::atomic<std::int32_t> changedMask{0};
    // Odd while a writer is inside a change.
    std::atomic<std::uint32_t> sequence{0};
    int depth = 0;  // nesting of changes, under the writers' lock
};

}  // namespace valvora
