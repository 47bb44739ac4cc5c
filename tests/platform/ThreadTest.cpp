// Worker threads that the audio thread waits for must not run below it:
// on Windows they are time-critical, elsewhere they keep the scheduling of
// the thread that starts them. Ordinary threads keep the default.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Threading.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

namespace {

using valvora::platform::Thread;
using valvora::platform::ThreadPriority;

struct Seen {
    std::atomic<int> runs{0};
    int policy = -1;
    int priority = -12345;
};

void record(void* argument)
{
    Seen& seen = *static_cast<Seen*>(argument);
#ifdef _WIN32
    seen.priority = GetThreadPriority(GetCurrentThread());
    seen.policy = 0;
#else
    sched_param param{};
    pthread_getschedparam(pthread_self(), &seen.policy, &param);
    seen.priority = param.sched_priority;
#endif
    seen.runs.fetch_add(1);
}

void runThread(ThreadPriority priority, Seen& seen)
{
    Thread thread;
    EXPECT_TRUE(thread.start(&record, &seen, priority));
    thread.join();
    EXPECT_FALSE(thread.started());
    EXPECT_EQ(seen.runs.load(), 1);
}

TEST(ThreadPriority, AudioWorkersRunAtTheAudioThreadsLevelAndOthersAtTheDefault)
{
    Seen audio, normal;
    runThread(ThreadPriority::audio, audio);
    runThread(ThreadPriority::normal, normal);
#ifdef _WIN32
    EXPECT_EQ(audio.priority, THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(normal.priority, THREAD_PRIORITY_NORMAL);
#else
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    EXPECT_EQ(audio.policy, policy);
    EXPECT_EQ(audio.priority, param.sched_priority);
    EXPECT_EQ(normal.policy, policy);
#endif
}

TEST(ThreadPriority, AThreadThatIsAlreadyRunningCannotBeStartedTwice)
{
    Seen seen;
    Thread thread;
    ASSERT_TRUE(thread.start(&record, &seen, ThreadPriority::audio));
    EXPECT_FALSE(thread.start(&record, &seen, ThreadPriority::audio));
    thread.join();
    EXPECT_EQ(seen.runs.load(), 1);
}

}  // namespace
