// Linux: how a thread sleeps on events and is woken. An event's signal word
// (see Event.cpp) doubles as a futex, so a hand-off to a sleeping thread
// costs one futex call on each side; a worker sleeps on its quit and start
// events at once with futex_waitv (Linux 5.16). Older kernels give each event
// an eventfd, which sleepers poll and drain: one more call on each side.
#include <linux/futex.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "platform/Threading.h"

namespace valvora::platform {

namespace {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

// Decided once, before the process's first event exists: all its events
// sleep the same way.
bool futexes()
{
    static const bool available = [] {
        // Lets the tests run the eventfd path on a kernel that has both.
        if (const char* forced = std::getenv("VALVORA_EVENTS_POLL"); forced && forced[0] == '1') return false;
        // Given nothing to wait on, the call fails with EINVAL where it exists.
        return syscall(SYS_futex_waitv, nullptr, 0, 0, nullptr, CLOCK_MONOTONIC) == -1 && errno == EINVAL;
    }();
    return available;
}

std::uint32_t* wordOf(std::atomic<std::uint32_t>& signal)
{
    return reinterpret_cast<std::uint32_t*>(&signal);
}

int fdOf(const void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }

// Empties a descriptor's wake-up count (it may hold several, or none when
// another sleeper took it first).
void drain(int fd)
{
    eventfd_t value;
    eventfd_read(fd, &value);
}

timespec span(unsigned milliseconds)
{
    timespec t{};
    t.tv_sec = milliseconds / 1000;
    t.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
    return t;
}

void pollSleep(const int* fds, const bool* manual, int count, unsigned milliseconds)
{
    pollfd p[2];
    for (int i = 0; i < count; ++i) p[i] = {fds[i], POLLIN, 0};
    const int timeout = milliseconds == ~0u ? -1 : static_cast<int>(std::min(milliseconds, 0x7fffffffu));
    if (poll(p, count, timeout) <= 0) return;  // time-out or signal: the caller looks again
    // A manual event's wake-up count stays until reset, so that every
    // sleeper sees it; an automatic one's is consumed by its sleeper.
    for (int i = 0; i < count; ++i)
        if ((p[i].revents & POLLIN) && !manual[i]) drain(p[i].fd);
}

}  // namespace

Event::Event(Reset mode) : manual_(mode == Reset::Manual)
{
    if (futexes()) {
        handle_ = &signalled_;  // the kernel object is the signal word itself
        return;
    }
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // The handle stores fd + 1 so that a failed eventfd (-1) reads as null.
    handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd + 1));
}

Event::~Event()
{
    if (handle_ && handle_ != &signalled_) close(fdOf(handle_));
}

bool Event::valid() const noexcept { return handle_ != nullptr; }

void Event::wake() noexcept
{
    if (handle_ != &signalled_) {
        eventfd_write(fdOf(handle_), 1);
        return;
    }
    // Every sleeper, as a poll would: one woken for this event may leave
    // with the other event's signal, and the rest look again.
    syscall(SYS_futex, wordOf(signalled_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void Event::clearWakeups() noexcept
{
    if (handle_ != &signalled_) drain(fdOf(handle_));
}

// Sleeps only while every word still reads unsignalled (the kernel checks
// that as it queues the caller), so a signal given after the caller last
// looked is never slept through.
void Event::sleep(Event* const* events, int count, unsigned milliseconds) noexcept
{
    const bool timed = milliseconds != ~0u;
    if (!futexes()) {
        int fds[2];
        bool manual[2];
        for (int i = 0; i < count; ++i) {
            fds[i] = fdOf(events[i]->handle_);
            manual[i] = events[i]->manual_;
        }
        pollSleep(fds, manual, count, milliseconds);
        return;
    }
    if (count == 1) {
        const timespec relative = span(milliseconds);
        syscall(SYS_futex, wordOf(events[0]->signalled_), FUTEX_WAIT_PRIVATE, 0u, timed ? &relative : nullptr,
                nullptr, 0);
        return;
    }
    futex_waitv waiters[2]{};
    for (int i = 0; i < count; ++i) {
        waiters[i].val = 0;
        waiters[i].uaddr = reinterpret_cast<std::uintptr_t>(wordOf(events[i]->signalled_));
        waiters[i].flags = FUTEX_32 | FUTEX_PRIVATE_FLAG;
    }
    timespec deadline{};
    if (timed) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        const timespec relative = span(milliseconds);
        deadline.tv_sec += relative.tv_sec;
        deadline.tv_nsec += relative.tv_nsec;
        if (deadline.tv_nsec >= 1000000000) {
            deadline.tv_nsec -= 1000000000;
            ++deadline.tv_sec;
        }
    }
    syscall(SYS_futex_waitv, waiters, count, 0, timed ? &deadline : nullptr, CLOCK_MONOTONIC);
}

}  // namespace valvora::platform
