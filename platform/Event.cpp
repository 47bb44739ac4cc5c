// The part of an event both platforms share: the signal lives in user space
// and the kernel object (a futex on Linux, an event on Windows) only puts
// sleepers to sleep and wakes them. A hand-off whose receiver is not asleep -
// the audio thread collecting a block that is long finished, a worker
// reporting one that nobody waits for yet - then costs no system call at
// all. Setter and sleeper each write their own flag before reading the
// other's (sequentially consistent), so a sleeper either sees the signal or
// is woken by it; a wake-up that finds the signal already taken just sleeps
// again.
#include <chrono>

#include "platform/Threading.h"

namespace valvora::platform {

namespace {
constexpr unsigned forever = ~0u;
}  // namespace

void Event::set() noexcept
{
    post();
    wakeSleepers();
}

void Event::post() noexcept
{
    if (handle_) signalled_.store(1);
}

// Reading the sleepers after the signal's store is what makes this safe
// however late it comes: a thread not counted yet will see the signal.
void Event::wakeSleepers() noexcept
{
    if (handle_ && sleepers_.load() != 0) wake();
}

void Event::reset() noexcept
{
    if (!handle_) return;
    signalled_.store(0);
    clearWakeups();
}

bool Event::take() noexcept
{
    if (manual_) return signalled_.load() != 0;
    return signalled_.load() != 0 && signalled_.exchange(0) != 0;
}

void Event::wait() noexcept { waitFor(forever); }

bool Event::waitFor(unsigned milliseconds) noexcept
{
    if (!handle_) return false;
    if (take()) return true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    Event* const self = this;
    sleepers_.fetch_add(1);
    bool taken = false;
    for (;;) {
        if ((taken = take())) break;
        unsigned left = forever;
        if (milliseconds != forever) {
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (remaining <= 0) break;
            left = remaining >= forever ? forever - 1 : static_cast<unsigned>(remaining);
        }
        sleep(&self, 1, left);
    }
    sleepers_.fetch_sub(1);
    return taken;
}

int Event::waitEither(Event& first, Event& second) noexcept
{
    if (first.take()) return 0;
    if (second.take()) return 1;
    Event* const both[2] = {&first, &second};
    first.sleepers_.fetch_add(1);
    second.sleepers_.fetch_add(1);
    int which;
    for (;;) {
        if (first.take()) {
            which = 0;
            break;
        }
        if (second.take()) {
            which = 1;
            break;
        }
        sleep(both, 2, forever);
    }
    first.sleepers_.fetch_sub(1);
    second.sleepers_.fetch_sub(1);
    return which;
}

}  // namespace valvora::platform
