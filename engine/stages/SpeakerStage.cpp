#include "engine/stages/SpeakerStage.h"

#include "resources/ir/ImpulseResponses.h"

namespace valvora {

namespace {
// Host rates above this use the responses made for 48 kHz.
constexpr float familyThreshold = 46050.0f;
}  // namespace

SpeakerStage::SpeakerStage()
{
    // Both families' responses are transformed here, on the constructing
    // thread: bank 0 holds the 44.1 kHz family, bank 1 the 48 kHz one.
    for (auto& cabinet : convolvers_) {
        for (auto& convolver : cabinet) convolver = std::make_unique<ShortConvolver>(true, 2);
        // Both channels' blocks fall due in the same frames (channel 0
        // first): channel 1's thread takes both, with one wake-up.
        cabinet[1]->serveAlso(*cabinet[0]);
    }
    for (int c = 0; c < channels; ++c) {
        convolvers_[0][c]->loadBanks(ir::cabinet1x10At44k, ir::cabinet1x10At48k);
        convolvers_[1][c]->loadBanks(ir::cabinet2x12At44k, ir::cabinet2x12At48k);
    }
    loadedSet_ = Family::rate44k;
    loadCount_ = 1;
    setPeriod(1.0 / 44100.0);
}

SpeakerStage::~SpeakerStage() = default;

void SpeakerStage::setPeriod(double period) noexcept
{
    float rate = static_cast<float>(1.0 / period);
    int factor = 1;
    while (rate >= 80000.0f && factor < maxFactor) {
        rate *= 0.5f;
        factor *= 2;
    }
    factor_ = factor;
    for (auto& ch : channels_) ch.keepWithin(factor_);

    const Family family = rate > familyThreshold ? Family::rate48k : Family::rate44k;
    if (family == loadedSet_) return;
    const bool at48k = family == Family::rate48k;
    // On a rate change this is the audio thread: the workers keep running
    // (no thread is stopped or started) and the responses were transformed
    // at construction; the convolvers restart from silence with the
    // family's bank.
    for (auto& cabinet : convolvers_)
        for (auto& convolver : cabinet) convolver->selectBank(at48k ? 1 : 0);
    loadedSet_ = family;
    ++loadCount_;
}

void SpeakerStage::convolveBlock(ReducedRateBlock& ch, int channel) noexcept
{
    ShortConvolver& convolver = *convolvers_[cabinet_][channel];
    ch.convolve(factor_, [&convolver](float x) noexcept { return convolver.process(x); });
}

}  // namespace valvora
