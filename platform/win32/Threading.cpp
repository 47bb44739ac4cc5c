// Windows implementation: the kernel's own critical sections, events and threads.
#include "platform/Threading.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <new>

namespace valvora::platform {

namespace {
CRITICAL_SECTION* sectionIn(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }
}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 64);

CriticalSection::CriticalSection() { InitializeCriticalSection(sectionIn(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(sectionIn(storage_)); }
void CriticalSection::enter() noexcept { EnterCriticalSection(sectionIn(storage_)); }
bool CriticalSection::tryEnter() noexcept { return TryEnterCriticalSection(sectionIn(storage_)) != 0; }
void CriticalSection::leave() noexcept { LeaveCriticalSection(sectionIn(storage_)); }

Event::Event(Reset mode) : manual_(mode == Reset::Manual)
{
    handle_ = CreateEventA(nullptr, manual_ ? TRUE : FALSE, FALSE, nullptr);
}

Event::~Event()
{
    if (handle_) CloseHandle(handle_);
}

bool Event::valid() const noexcept { return handle_ != nullptr; }
void Event::wake() noexcept { SetEvent(handle_); }
void Event::clearWakeups() noexcept { ResetEvent(handle_); }

// An automatic event's wake-up is consumed by the wait that returns with it;
// a manual one's stays until reset, so that every sleeper sees it.
void Event::sleep(Event* const* events, int count, unsigned milliseconds) noexcept
{
    HANDLE handles[2];
    for (int i = 0; i < count; ++i) handles[i] = events[i]->handle_;
    WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE, milliseconds);
}

namespace {
// The audio thread's priority as last noted, and a count of changes so that
// each worker sees a change once.
std::atomic<int> notedPriority{THREAD_PRIORITY_NORMAL};
std::atomic<unsigned> schedulingChanges{0};
thread_local unsigned followedChanges = 0;
thread_local HANDLE mmcssTask = nullptr;

using AvSetMmThreadCharacteristicsFn = HANDLE(WINAPI*)(LPCWSTR, LPDWORD);
using AvRevertMmThreadCharacteristicsFn = BOOL(WINAPI*)(HANDLE);

// avrt.dll is a system DLL; it is looked up when first needed (on a worker,
// never on the audio thread), so the module imports nothing new.
HMODULE avrt() noexcept
{
    static HMODULE module = LoadLibraryW(L"avrt.dll");
    return module;
}

void joinProAudioTask() noexcept
{
    if (mmcssTask) return;
    HMODULE m = avrt();
    if (!m) return;
    auto set = reinterpret_cast<AvSetMmThreadCharacteristicsFn>(
        reinterpret_cast<void*>(GetProcAddress(m, "AvSetMmThreadCharacteristicsW")));
    if (!set) return;
    DWORD taskIndex = 0;
    mmcssTask = set(L"Pro Audio", &taskIndex);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void leaveProAudioTask() noexcept
{
    if (!mmcssTask) return;
    auto revert = reinterpret_cast<AvRevertMmThreadCharacteristicsFn>(
        reinterpret_cast<void*>(GetProcAddress(avrt(), "AvRevertMmThreadCharacteristics")));
    if (revert) revert(mmcssTask);
    mmcssTask = nullptr;
}

DWORD WINAPI threadMain(LPVOID raw)
{
    static_cast<Thread*>(raw)->runEntry();
    leaveProAudioTask();
    return 0;
}

struct KeptStart {
    Thread* thread;
    HMODULE module;
};

// Drops the thread's module reference as its last act: the module may be
// unloaded the moment it is dropped, so nothing of ours may run after it.
DWORD WINAPI keptThreadMain(LPVOID raw)
{
    const KeptStart start = *static_cast<KeptStart*>(raw);
    delete static_cast<KeptStart*>(raw);
    start.thread->runEntry();  // the owner may delete the Thread from here on
    leaveProAudioTask();
    FreeLibraryAndExitThread(start.module, 0);
}

HANDLE handleOf(std::uintptr_t id) { return reinterpret_cast<HANDLE>(id); }
}  // namespace

void noteAudioThreadScheduling() noexcept
{
    const int priority = GetThreadPriority(GetCurrentThread());
    if (priority == THREAD_PRIORITY_ERROR_RETURN) return;
    if (notedPriority.exchange(priority, std::memory_order_relaxed) != priority)
        schedulingChanges.fetch_add(1, std::memory_order_release);
}

void followAudioThreadScheduling() noexcept
{
    const unsigned changes = schedulingChanges.load(std::memory_order_acquire);
    if (changes == followedChanges) return;
    followedChanges = changes;
    // A host's MMCSS-registered audio thread runs above normal priority (the
    // registration itself cannot be queried): the workers join the same task.
    if (notedPriority.load(std::memory_order_relaxed) > THREAD_PRIORITY_NORMAL) joinProAudioTask();
}

AudioScheduling notedAudioScheduling() noexcept
{
    return {0, notedPriority.load(std::memory_order_relaxed)};
}

void Thread::runEntry() noexcept
{
    entry_(argument_);
    finished_.store(true, std::memory_order_release);
}

Thread::~Thread() { join(); }

bool Thread::start(Entry entry, void* argument, ThreadPriority priority) noexcept
{
    if (started_) return false;
    entry_ = entry;
    argument_ = argument;
    finished_.store(false);
    // Suspended until its priority is set, so not one instruction of its
    // work runs at the wrong one.
    HANDLE handle = CreateThread(nullptr, 0, threadMain, this, CREATE_SUSPENDED, nullptr);
    if (!handle) return false;
    if (priority == ThreadPriority::audio) SetThreadPriority(handle, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(handle);
    id_ = reinterpret_cast<std::uintptr_t>(handle);
    started_ = true;
    return true;
}

bool Thread::startKeepingModule(Entry entry, void* argument) noexcept
{
    if (started_) return false;
    HMODULE module = nullptr;
    // Taken here, before the thread exists, so no moment passes without it.
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&keptThreadMain),
                            &module))
        return false;
    auto* kept = new (std::nothrow) KeptStart{this, module};
    if (!kept) {
        FreeLibrary(module);
        return false;
    }
    entry_ = entry;
    argument_ = argument;
    finished_.store(false);
    HANDLE handle = CreateThread(nullptr, 0, keptThreadMain, kept, 0, nullptr);
    if (!handle) {
        delete kept;
        FreeLibrary(module);
        return false;
    }
    id_ = reinterpret_cast<std::uintptr_t>(handle);
    module_ = module;
    started_ = true;
    return true;
}

void Thread::join() noexcept
{
    if (!started_) return;
    WaitForSingleObject(handleOf(id_), INFINITE);
    CloseHandle(handleOf(id_));
    started_ = false;
    module_ = nullptr;
}

bool Thread::joinFor(unsigned milliseconds) noexcept
{
    if (!started_) return true;
    if (WaitForSingleObject(handleOf(id_), milliseconds) != WAIT_OBJECT_0) return false;
    CloseHandle(handleOf(id_));
    started_ = false;
    module_ = nullptr;
    return true;
}

// The thread's own exit code, as the update button asks it: still running
// while the code reads STILL_ACTIVE.
bool Thread::running() const noexcept
{
    DWORD code = 0;
    return started_ && GetExitCodeThread(handleOf(id_), &code) && code == STILL_ACTIVE;
}

int processThreadCount() noexcept
{
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace valvora::platform
