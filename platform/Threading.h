#pragma once
// The small slice of the operating system that the core needs: a lock with a
// non-blocking try, events that threads hand work over with, and joinable
// threads. Windows builds use the kernel objects themselves; Linux builds
// the smallest equivalent. Nothing outside platform/ includes an OS header.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace valvora::platform {

// A recursive lock that behaves like a Windows critical section.
// Any thread; never allocates after construction.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() noexcept;
    // Takes the lock only if it is free (or already ours); never waits.
    bool tryEnter() noexcept;
    void leave() noexcept;

private:
    alignas(16) unsigned char storage_[64];
};

// Holds a CriticalSection for one scope (host threads only: it waits).
class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) noexcept : cs_(cs) { cs_.enter(); }
    ~ScopedLock() { cs_.leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& cs_;
};

// A signalled/unsignalled flag that threads wait on. Auto-reset events release
// one waiter and fall back to unsignalled; manual-reset events stay signalled
// until reset(). Any thread.
class Event {
public:
    enum class Reset { Automatic, Manual };
    explicit Event(Reset mode);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const noexcept;
    void set() noexcept;
    // set() in two steps: post() signals without waking a thread asleep on
    // the event, which sees the signal only at the next wakeSleepers(). The
    // waking is a system call that may cost more than the work it starts, so
    // a thread with a deadline can signal at once and wake when it has time.
    void post() noexcept;
    void wakeSleepers() noexcept;
    void reset() noexcept;
    void wait() noexcept;
    // Returns false when the time ran out first.
    bool waitFor(unsigned milliseconds) noexcept;
    // Waits for whichever of the two events is signalled first and returns its
    // index (0 or 1); when both are signalled, 0 wins.
    static int waitEither(Event& first, Event& second) noexcept;

private:
    // Consumes the signal of an automatic event (reads a manual one).
    bool take() noexcept;
    // The operating system's part: wake the kernel object's sleepers; drop
    // wake-ups not yet consumed; sleep until one of the events' kernel objects
    // wakes the caller or the time runs out (~0u: never).
    void wake() noexcept;
    void clearWakeups() noexcept;
    static void sleep(Event* const* events, int count, unsigned milliseconds) noexcept;

    // HANDLE on Windows; on Linux the signal word itself (a futex) or, on
    // kernels without futex_waitv, an eventfd.
    void* handle_ = nullptr;
    bool manual_ = false;
    // The signal is kept in user space; the kernel object is used only to
    // sleep and to wake sleepers.
    std::atomic<std::uint32_t> signalled_{0};
    std::atomic<std::uint32_t> sleepers_{0};
};

// A joinable thread running a plain function. The owner must join (or the
// destructor does). Starting allocates nothing of ours: the thread's record is
// this object, which must therefore outlive the thread. Any thread.
// How urgently a thread's work is needed. Audio: the audio thread waits for
// it without a time-out (the convolution workers), so it must not lose the
// processor to ordinary threads, nor to the audio thread itself:
// time-critical on Windows, like the hosts' audio threads; on Linux it starts
// with the scheduling of the thread that starts it. Either way such a thread
// then follows the audio thread's scheduling (see noteAudioThreadScheduling).
enum class ThreadPriority { normal, audio };

// The audio thread, now and then (the plug-in: on its first block and every
// 256th after): records the calling thread's scheduling as the one the audio
// workers must run at. A few system calls at most; no lock, no allocation.
// Linux: a real-time policy (SCHED_FIFO or SCHED_RR) and its priority.
// Windows: whether the thread runs above normal priority, as one that the
// host registered with MMCSS does.
void noteAudioThreadScheduling() noexcept;

// An audio worker (ThreadPriority::audio), before each piece of work, on
// itself: takes on the scheduling last noted, when it changed since the
// worker's last call. Linux: the same real-time policy and priority, where
// the process is permitted (otherwise it stays as it is, quietly); Windows:
// joins the MMCSS "Pro Audio" task (avrt.dll) and stays time-critical. One
// atomic read when nothing changed.
void followAudioThreadScheduling() noexcept;

// What the last noted audio thread ran at: on Linux its policy (SCHED_OTHER
// while none was real-time) and priority. For tests.
struct AudioScheduling {
    int policy = 0;
    int priority = 0;
};
AudioScheduling notedAudioScheduling() noexcept;

class Thread {
public:
    using Entry = void (*)(void* argument);
    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool start(Entry entry, void* argument, ThreadPriority priority = ThreadPriority::normal) noexcept;
    // start() for a thread its owner may have to leave running (a network
    // request that does not give up at once): on Windows the thread holds a
    // reference to the module until its very end, so the code it runs cannot
    // be unloaded under it (keepsModuleLoaded() then answers true). Elsewhere
    // there is no such way out, and the owner must join it.
    bool startKeepingModule(Entry entry, void* argument) noexcept;
    bool keepsModuleLoaded() const noexcept { return module_ != nullptr; }
    // Waits for the thread to end and releases its handle; no-op when none runs.
    void join() noexcept;
    // Like join(), but gives up after the time-out and keeps the handle; true if joined.
    bool joinFor(unsigned milliseconds) noexcept;
    bool started() const noexcept { return started_; }
    // True while the thread function has not returned yet.
    bool running() const noexcept;

    // Internal: the platform trampoline runs the entry through this.
    void runEntry() noexcept;

private:
    Entry entry_ = nullptr;
    void* argument_ = nullptr;
    std::atomic<bool> finished_{false};
    std::uintptr_t id_ = 0;   // HANDLE on Windows, pthread_t on Linux
    void* module_ = nullptr;  // the module reference a startKeepingModule thread holds (Windows)
    bool started_ = false;
};

// Counts the threads of this process (tests use it to find leaks).
int processThreadCount() noexcept;

}  // namespace valvora::platform
