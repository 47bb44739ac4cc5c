// Linux implementation: a recursive pthread mutex for the critical section,
// events as a user-space flag with an eventfd to sleep on (poll waits on
// several at once), and pthreads for threads.
#include "platform/Threading.h"

#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

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
int fdOf(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }

// Empties a descriptor's wake-up count (it may hold several, or none when
// another sleeper took it first).
void drain(int fd)
{
    eventfd_t value;
    eventfd_read(fd, &value);
}

// Sleeps until one of the descriptors is readable or the time runs out
// (negative: never); false on time-out.
bool sleepOn(pollfd* p, int count, int milliseconds)
{
    for (;;) {
        const int ready = poll(p, count, milliseconds);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

std::int64_t nowMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
}  // namespace

// The signal itself lives in user space; the eventfd only puts sleepers to
// sleep and wakes them. A hand-off whose receiver is not asleep - the audio
// thread collecting a block that is long finished, a worker reporting one
// that nobody waits for yet - then costs no system call at all. Setter and
// sleeper each write their own flag before reading the other's (sequentially
// consistent), so a sleeper either sees the signal or is woken by it.
Event::Event(Reset mode) : manual_(mode == Reset::Manual)
{
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // The handle stores fd + 1 so that a failed eventfd (-1) reads as null.
    handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd + 1));
}

Event::~Event()
{
    if (handle_) close(fdOf(handle_));
}

bool Event::valid() const noexcept { return handle_ != nullptr; }

void Event::set() noexcept
{
    if (!handle_) return;
    signalled_.store(1);
    if (sleepers_.load() != 0) eventfd_write(fdOf(handle_), 1);
}

void Event::reset() noexcept
{
    if (!handle_) return;
    signalled_.store(0);
    drain(fdOf(handle_));
}

bool Event::take() noexcept
{
    if (manual_) return signalled_.load() != 0;
    return signalled_.load() != 0 && signalled_.exchange(0) != 0;
}

void Event::wait() noexcept { waitFor(~0u); }

bool Event::waitFor(unsigned milliseconds) noexcept
{
    if (!handle_) return false;
    if (take()) return true;
    const bool forever = milliseconds == ~0u;
    const std::int64_t deadline = nowMilliseconds() + milliseconds;
    sleepers_.fetch_add(1);
    bool taken = false;
    for (;;) {
        if ((taken = take())) break;
        const std::int64_t left = deadline - nowMilliseconds();
        if (!forever && left <= 0) break;
        pollfd p{fdOf(handle_), POLLIN, 0};
        const int timeout = forever ? -1 : static_cast<int>(left > 0x7fffffff ? 0x7fffffff : left);
        // A manual event's wake-up count stays until reset, so that every
        // sleeper sees it; an automatic one's is consumed by the sleeper.
        if (sleepOn(&p, 1, timeout) && !manual_) drain(p.fd);
    }
    sleepers_.fetch_sub(1);
    return taken;
}

int Event::waitEither(Event& first, Event& second) noexcept
{
    if (first.take()) return 0;
    if (second.take()) return 1;
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
        pollfd p[2] = {{fdOf(first.handle_), POLLIN, 0}, {fdOf(second.handle_), POLLIN, 0}};
        if (!sleepOn(p, 2, -1)) continue;
        if ((p[0].revents & POLLIN) && !first.manual_) drain(p[0].fd);
        if ((p[1].revents & POLLIN) && !second.manual_) drain(p[1].fd);
    }
    first.sleepers_.fetch_sub(1);
    second.sleepers_.fetch_sub(1);
    return which;
}

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

bool Thread::start(Entry entry, void* argument, ThreadPriority) noexcept
{
    // Both priorities inherit the starting thread's scheduling (the default
    // of pthread_create): raising it needs privileges a plug-in lacks.
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
