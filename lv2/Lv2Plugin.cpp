// The LV2 plug-in: control ports in, the shared audio entry over AmpEngine
// out. Everything that decides the sound (the order in which changes reach
// the engine, the switch thresholds, the frame loop) is BlockProcessor's, so
// a render through this binary equals one through the VST module.

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "core/BlockProcessor.h"
#include "core/FactoryPrograms.h"
#include "engine/AmpEngine.h"
#include "lv2/Lv2Ports.h"

namespace valvora::lv2 {

namespace {

// The rates the engine is built for; the VST shell ignores others in
// setSampleRate. An LV2 host cannot be told "ignored", so instantiate refuses.
bool rateIsSupported(double rate) noexcept
{
    return rate > 10000.0 && rate < 200000.0;
}

bool sameBits(float a, float b) noexcept
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The engine and its audio entry, made together so that a fresh pair starts
// from the states a new instance has.
struct Chain {
    AmpEngine engine;
    BlockProcessor block{engine};
};

class Lv2Plugin {
public:
    // Host thread (instantiate). Starts the convolvers' workers, computes
    // every coefficient for 44100 Hz and prepares the host's rate (the triode
    // tables of both periods), so the first run() only swaps it in. The rate
    // goes to the engine as a 32-bit float, as the VST host's does.
    // Throws std::bad_alloc when memory runs out.
    explicit Lv2Plugin(double sampleRate)
        : chain_(std::make_unique<Chain>()), rate_(static_cast<float>(sampleRate))
    {
        chain_->engine.prepareRate(static_cast<double>(rate_));
    }

    // Host thread (activate). An activated instance starts from a clean
    // history: after a run, the chain is rebuilt (threads and allocation are
    // allowed here, never in run()); a failed rebuild keeps the old chain.
    void activate() noexcept
    {
        if (!hasRun_) return;
        try {
            chain_ = std::make_unique<Chain>();
        } catch (...) {
            return;
        }
        chain_->engine.prepareRate(static_cast<double>(rate_));
        pending_ = BlockProcessor::allChanged | BlockProcessor::sampleRateBit;
        hasRun_ = false;
    }

    // Any thread the host chooses, never during run().
    void connect(std::uint32_t port, void* data) noexcept
    {
        if (port < audioPortCount) {
            audio_[port] = static_cast<float*>(data);
        } else if (port < portCount) {
            controls_[port - firstControlPort] = static_cast<const float*>(data);
        }
    }

    // Audio thread. Never allocates, never locks: the control ports are the
    // host's memory, read once at the start of the block.
    void run(std::uint32_t sampleCount) noexcept
    {
        float values[parameterCount];
        std::int32_t mask = pending_;
        pending_ = 0;
        const ProgramRecord& defaults = factoryProgram(0);
        for (int i = 0; i < parameterCount; ++i) {
            values[i] = controls_[i] ? *controls_[i] : defaults.values[i];
            // Bit patterns, not values: a NaN left on a port is no change,
            // and a host that rewrites the same value costs nothing.
            if (!sameBits(values[i], applied_[i])) mask |= 1 << i;
            applied_[i] = values[i];
        }
        BlockProcessor& block = chain_->block;
        block.applyChanges(values, mask, rate_);
        hasRun_ = true;
        const auto frames = static_cast<std::int32_t>(
            std::min<std::uint32_t>(sampleCount, std::numeric_limits<std::int32_t>::max()));
        block.run<float>(audio_[portInLeft], audio_[portInRight], audio_[portOutLeft], audio_[portOutRight],
                         frames, true);
    }

private:
    std::unique_ptr<Chain> chain_;
    const float rate_;
    bool hasRun_ = false;
    // Everything, the rate included, reaches the engine on the first block,
    // as in the VST shell after construction.
    std::int32_t pending_ = BlockProcessor::allChanged | BlockProcessor::sampleRateBit;
    float applied_[parameterCount] = {};
    float* audio_[audioPortCount] = {};
    const float* controls_[parameterCount] = {};
};

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const*)
{
    if (!rateIsSupported(sampleRate)) return nullptr;
    try {
        return new Lv2Plugin(sampleRate);
    } catch (...) {
        return nullptr;  // out of memory: the host reports a failed instantiation
    }
}

void connectPort(LV2_Handle instance, std::uint32_t port, void* data)
{
    static_cast<Lv2Plugin*>(instance)->connect(port, data);
}

void activate(LV2_Handle instance)
{
    static_cast<Lv2Plugin*>(instance)->activate();
}

void run(LV2_Handle instance, std::uint32_t sampleCount)
{
    static_cast<Lv2Plugin*>(instance)->run(sampleCount);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle instance)
{
    delete static_cast<Lv2Plugin*>(instance);
}

const void* extensionData(const char*)
{
    return nullptr;
}

const LV2_Descriptor descriptor = {
    pluginUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

}  // namespace valvora::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index)
{
    return index == 0 ? &valvora::lv2::descriptor : nullptr;
}
