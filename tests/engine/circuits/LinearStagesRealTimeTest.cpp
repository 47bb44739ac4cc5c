// Real-time behaviour shared by every linear stage and the tube stage: no
// allocation in their updates or per-sample paths, and no input however large
// leaves a non-finite state behind.

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "engine/circuits/DriveHighPass.h"
#include "engine/circuits/DriveStage.h"
#include "engine/circuits/TubeStage.h"
#include "engine/stages/InputStage.h"
#include "engine/tone/ToneStack.h"

// The replaced global operators below pair malloc with free by design; GCC
// cannot see that and warns where an inlined delete meets free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> allocations{0};

// Over-aligned blocks by hand: not every C runtime we build for has
// aligned_alloc. The original pointer sits just below the aligned block.
void* alignedAllocate(std::size_t size, std::size_t align)
{
    void* raw = std::malloc(size + align + sizeof(void*));
    if (!raw) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    void** block = reinterpret_cast<void**>((start + align - 1) & ~std::uintptr_t(align - 1));
    block[-1] = raw;
    return block;
}

void alignedRelease(void* p) noexcept
{
    if (p) std::free(static_cast<void**>(p)[-1]);
}
}  // namespace

void* operator new(std::size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t align)
{
    ++allocations;
    return alignedAllocate(size, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t size, std::align_val_t align)
{
    return operator new(size, align);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    alignedRelease(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    alignedRelease(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    alignedRelease(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    alignedRelease(p);
}

namespace valvora {
namespace {

using Config = TubeStage::Configuration;

// All stages behind one calling convention for the generic checks below.
struct Stages {
    InputStage input;
    DriveStage drive;
    DriveHighPass highPass;
    TubeStage normalTube{Config::Normal};
    TubeStage driveTube{Config::Drive};
    ToneStack tone0{0};
    ToneStack tone1{1};

    void update(double rate, double knob)
    {
        const double tp = 1.0 / (8.0 * rate);
        input.setPeriod(1.0 / rate);
        drive.setPeriod(1.0 / rate);
        highPass.update(tp, knob);
        normalTube.update(tp, knob);
        driveTube.update(tp, knob);
        tone0.setControls(knob, knob * 0.9, 1.0 - knob, tp);
        tone1.setControls(1.0 - knob, knob * 0.5, knob, tp);
    }

    // Every stage gets the same sample; the results come back in `out`.
    void process(double x, int channel, double (&out)[7])
    {
        for (double& o : out) o = x;
        input.process(out[0], channel);
        drive.process(out[1], channel);
        highPass.process(out[2], channel);
        normalTube.process(out[3], channel);
        driveTube.process(out[4], channel);
        tone0.process(out[5], channel);
        tone1.process(out[6], channel);
    }
};

TEST(LinearStagesRealTime, UpdatesAndProcessingNeverAllocate)
{
    auto stages = std::make_unique<Stages>();
    double out[7];
    const long before = allocations.load();
    for (double rate : {44100.0, 48000.0, 96000.0})
        for (double knob : {0.005, 0.3, 0.99}) {
            stages->update(rate, knob);
            stages->normalTube.setVoicing(knob > 0.5);
            stages->driveTube.setVoicing(knob > 0.5);
            for (int n = 0; n < 256; ++n) stages->process(std::sin(0.01 * n), n & 1, out);
        }
    EXPECT_EQ(allocations.load(), before);
}

bool statesFinite(const Stages& s)
{
    bool ok = true;
    for (int ch = 0; ch < 2; ++ch) {
        ok = ok && s.input.discrete().state[ch].allFinite() && s.drive.discrete().state[ch].allFinite() &&
             s.normalTube.discrete().state[ch].allFinite() && s.driveTube.discrete().state[ch].allFinite() &&
             s.tone0.discrete().state[ch].allFinite() && s.tone1.discrete().state[ch].allFinite();
    }
    return ok;
}

TEST(LinearStagesRealTime, HugeAndNonFiniteInputsLeaveFiniteStatesAndNormalAudioReturns)
{
    auto hit = std::make_unique<Stages>();
    auto clean = std::make_unique<Stages>();
    const double rate = 48000.0;
    hit->update(rate, 0.6);
    clean->update(rate, 0.6);
    const double bursts[] = {1e30, -1e30, 1e300, -DBL_MAX, DBL_MAX, HUGE_VAL, std::nan(""), 1.0, -1.0};
    double out[7], reference[7];
    for (int n = 0; n < 9 * 4800; ++n) {
        const double x = (n / 24) % 2 ? bursts[n / 4800] : -bursts[n / 4800];  // square waves
        hit->process(x, n & 1, out);
        for (double y : out) ASSERT_TRUE(std::isfinite(y)) << n;
    }
    ASSERT_TRUE(statesFinite(*hit));
    // Ordinary audio afterwards: every stage converges onto a twin that never
    // saw the bursts (the tube stages' slow network pole takes the longest).
    double worst[7] = {};
    // The preamp stages run here at a host rate's count of samples but with
    // oversampled coefficients, so they take eight times longer than in use.
    for (int n = 0; n < 25 * 48000; ++n) {
        const double x = 0.25 * std::sin(0.031 * n);
        hit->process(x, n & 1, out);
        clean->process(x, n & 1, reference);
        if (n < 24 * 48000) continue;
        for (int i = 0; i < 7; ++i) worst[i] = std::max(worst[i], std::abs(out[i] - reference[i]));
    }
    for (int i = 0; i < 7; ++i) EXPECT_LT(worst[i], 1e-6) << "stage " << i;
}

}  // namespace
}  // namespace valvora
