// Linux implementation: a recursive pthread mutex for the critical section,
// eventfd counters for events (a write signals, a read consumes, poll waits
// on several at once) and pthreads for threads.
#include "platform/Threading.h"

#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
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

// Consumes the signal of an auto-reset event; false if another waiter got it first.
bool consume(int fd)
{
    eventfd_t value;
    return eventfd_read(fd, &value) == 0;
}

void waitReadable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}
}  // namespace

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
    if (handle_) eventfd_write(fdOf(handle_), 1);
}

void Event::reset() noexcept
{
    if (handle_) consume(fdOf(handle_));
}

void Event::wait() noexcept
{
    if (!handle_) return;
    const int fd = fdOf(handle_);
    for (;;) {
        waitReadable(fd);
        if (manual_ || consume(fd)) return;
    }
}

bool Event::waitFor(unsigned milliseconds) noexcept
{
    if (!handle_) return false;
    const int fd = fdOf(handle_);
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(milliseconds));
    if (ready <= 0) return false;
    return manual_ || consume(fd);
}

int Event::waitEither(Event& first, Event& second) noexcept
{
    for (;;) {
        pollfd p[2] = {{fdOf(first.handle_), POLLIN, 0}, {fdOf(second.handle_), POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        if (p[0].revents & POLLIN) {
            if (first.manual_ || consume(p[0].fd)) return 0;
        }
        if (p[1].revents & POLLIN) {
            if (second.manual_ || consume(p[1].fd)) return 1;
        }
    }
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
