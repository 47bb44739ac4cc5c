// Linux implementation: a recursive pthread mutex for the critical section
// and pthreads for threads (events: EventSleep.cpp).
#include "platform/Threading.h"

#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>

namespace valvora::platform {

namespace {
pthread_mutex_t* mutexIn(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
}  // namespace

static_assert(sizeof(pthread_mutex_t) <= 64);

CriticalSection::CriticalSection()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutexIn(storage_), &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() { pthread_mutex_destroy(mutexIn(storage_)); }
void CriticalSection::enter() noexcept { pthread_mutex_lock(mutexIn(storage_)); }
bool CriticalSection::tryEnter() noexcept { return pthread_mutex_trylock(mutexIn(storage_)) == 0; }
void CriticalSection::leave() noexcept { pthread_mutex_unlock(mutexIn(storage_)); }

namespace {
void* threadMain(void* raw)
{
    static_cast<Thread*>(raw)->runEntry();
    return nullptr;
}
}  // namespace

void Thread::runEntry() noexcept
{
    entry_(argument_);
    finished_.store(true, std::memory_order_release);
}

Thread::~Thread() { join(); }

namespace {
// The audio thread's scheduling as last noted: policy in the low byte,
// priority above it, and a count of changes so that each worker sees a
// change once. One word each, written by audio threads only.
std::atomic<std::uint32_t> notedScheduling{SCHED_OTHER};
std::atomic<std::uint32_t> schedulingChanges{0};
thread_local std::uint32_t followedChanges = 0;

}  // namespace

void noteAudioThreadScheduling() noexcept
{
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return;
    const bool realTime = policy == SCHED_FIFO || policy == SCHED_RR;
    const std::uint32_t word = realTime ? static_cast<std::uint32_t>(policy) |
                                              (static_cast<std::uint32_t>(param.sched_priority) << 8)
                                        : static_cast<std::uint32_t>(SCHED_OTHER);
    if (notedScheduling.exchange(word, std::memory_order_relaxed) != word)
        schedulingChanges.fetch_add(1, std::memory_order_release);
}

void followAudioThreadScheduling() noexcept
{
    const std::uint32_t changes = schedulingChanges.load(std::memory_order_acquire);
    if (changes == followedChanges) return;
    followedChanges = changes;
    const std::uint32_t word = notedScheduling.load(std::memory_order_relaxed);
    const int policy = static_cast<int>(word & 0xff);
    // Only ever raised: a worker started by a real-time thread keeps that
    // thread's scheduling even when a later audio thread is an ordinary one.
    if (policy != SCHED_FIFO && policy != SCHED_RR) return;
    sched_param param{};
    param.sched_priority = static_cast<int>(word >> 8);
    pthread_setschedparam(pthread_self(), policy, &param);  // EPERM without the right: stays as it is
}

AudioScheduling notedAudioScheduling() noexcept
{
    const std::uint32_t word = notedScheduling.load(std::memory_order_relaxed);
    return {static_cast<int>(word & 0xff), static_cast<int>(word >> 8)};
}

bool Thread::start(Entry entry, void* argument, ThreadPriority) noexcept
{
    // Both priorities inherit the starting thread's scheduling (the default
    // of pthread_create); audio workers then follow the audio thread's
    // (followAudioThreadScheduling, called by the worker itself).
    if (started_) return false;
    entry_ = entry;
    argument_ = argument;
    finished_.store(false);
    pthread_t id;
    if (pthread_create(&id, nullptr, threadMain, this) != 0) return false;
    id_ = static_cast<std::uintptr_t>(id);
    started_ = true;
    return true;
}

// No thread can hold a module loaded here: owners of such threads join them.
bool Thread::startKeepingModule(Entry entry, void* argument) noexcept
{
    return start(entry, argument);
}

void Thread::join() noexcept
{
    if (!started_) return;
    pthread_join(static_cast<pthread_t>(id_), nullptr);
    started_ = false;
}

bool Thread::joinFor(unsigned milliseconds) noexcept
{
    if (!started_) return true;
    for (unsigned waited = 0; !finished_.load(std::memory_order_acquire); waited += 5) {
        if (waited >= milliseconds) return false;
        usleep(5000);
    }
    join();
    return true;
}

bool Thread::running() const noexcept { return started_ && !finished_.load(std::memory_order_acquire); }

int processThreadCount() noexcept
{
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

}  // namespace valvora::platform
