#include "core/ParamSnapshot.h"

#include "core/BlockProcessor.h"

namespace valvora {

// Sequentially consistent throughout (ThreadSanitizer does not model
// fences): the odd count is seen before any value of the change. Such loads
// are plain loads on x86-64.

void ParamSnapshot::beginChange() noexcept
{
    if (depth++ == 0) sequence.fetch_add(1);
}

void ParamSnapshot::endChange() noexcept
{
    if (--depth == 0) sequence.fetch_add(1);
}

void ParamSnapshot::store(int index, float value) noexcept
{
    paramValues[index].store(value);
    changedMask.fetch_or(1 << index);
}

void ParamSnapshot::storeRate(float newRate) noexcept
{
    rate.store(newRate);
    changedMask.fetch_or(BlockProcessor::sampleRateBit);
}

std::int32_t ParamSnapshot::take(float (&values)[parameterCount], float& rateOut) noexcept
{
    // A writer inside a change (odd count), or one that began one while the
    // values were read, leaves the changes to a later block.
    const std::uint32_t before = sequence.load();
    if ((before & 1) != 0 || changedMask.load() == 0) return 0;
    const std::int32_t mask = changedMask.exchange(0);
    for (int i = 0; i < parameterCount; ++i) values[i] = paramValues[i].load();
    rateOut = rate.load();
    if (sequence.load() != before) {
        changedMask.fetch_or(mask);
        return 0;
    }
    return mask;
}

}  // namespace valvora
