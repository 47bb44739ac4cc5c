// The convolvers hand every block over through these events and wait without
// a time-out, so one lost wake-up stalls the audio thread for good. These
// cases hammer the hand-off patterns they use.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Threading.h"

namespace {

using valvora::platform::Event;
using valvora::platform::Thread;

TEST(Event, ASignalGivenBeforeTheWaitIsNotLostAndAnAutomaticOneIsTakenOnce)
{
    Event automatic(Event::Reset::Automatic);
    automatic.set();
    EXPECT_TRUE(automatic.waitFor(0));
    EXPECT_FALSE(automatic.waitFor(0));
    EXPECT_FALSE(automatic.waitFor(20));

    Event manual(Event::Reset::Manual);
    manual.set();
    EXPECT_TRUE(manual.waitFor(0));
    EXPECT_TRUE(manual.waitFor(0));
    manual.reset();
    EXPECT_FALSE(manual.waitFor(0));
}

TEST(Event, WaitEitherPrefersTheFirstAndConsumesOnlyWhatItReturns)
{
    Event quit(Event::Reset::Manual);
    Event start(Event::Reset::Automatic);
    start.set();
    EXPECT_EQ(Event::waitEither(quit, start), 1);
    EXPECT_FALSE(start.waitFor(0));
    start.set();
    quit.set();
    EXPECT_EQ(Event::waitEither(quit, start), 0);
    EXPECT_TRUE(start.waitFor(0));
    EXPECT_TRUE(quit.waitFor(0));
}

// The audio thread and one worker: start, compute, done, many thousand times,
// with both sides sometimes already waiting and sometimes not yet.
struct PingPong {
    Event quit{Event::Reset::Manual};
    Event start{Event::Reset::Automatic};
    Event done{Event::Reset::Automatic};
    std::atomic<int> handled{0};

    static void worker(void* raw)
    {
        auto& self = *static_cast<PingPong*>(raw);
        while (Event::waitEither(self.quit, self.start) == 1) {
            self.handled.fetch_add(1);
            self.done.set();
        }
    }
};

struct Sleeper {
    Event* quit;
    Event start{Event::Reset::Automatic};
    std::atomic<int> result{-1};

    static void run(void* raw)
    {
        auto& self = *static_cast<Sleeper*>(raw);
        self.result.store(Event::waitEither(*self.quit, self.start));
    }
};

// With `deferred`, the signal is posted and the wake-up follows a moment
// later, as the cabinet's convolver does it.
void handOffManyTimes(bool deferred)
{
    PingPong p;
    Thread thread;
    ASSERT_TRUE(thread.start(&PingPong::worker, &p));
    constexpr int rounds = 20000;
    for (int i = 0; i < rounds; ++i) {
        if (deferred)
            p.start.post();
        else
            p.start.set();
        // Spin a little now and then, so the worker is found both asleep
        // and busy when the next signal comes.
        std::atomic<int> spin{0};
        while (spin.fetch_add(1, std::memory_order_relaxed) < (i % 7) * 50) {
        }
        if (deferred) p.start.wakeSleepers();
        ASSERT_TRUE(p.done.waitFor(10000)) << "round " << i;
    }
    p.quit.set();
    thread.join();
    EXPECT_EQ(p.handled.load(), rounds);
}

TEST(Event, AHandOffRepeatedManyTimesNeverLosesAWakeUp) { handOffManyTimes(false); }

TEST(Event, APostedSignalWokenLaterNeverLosesAWakeUp) { handOffManyTimes(true); }

TEST(Event, APostedSignalIsTakenByTheNextWaiterAndWakesASleeperWhenAsked)
{
    Event start(Event::Reset::Automatic);
    start.post();
    EXPECT_TRUE(start.waitFor(0));
    EXPECT_FALSE(start.waitFor(0));

    Event quit(Event::Reset::Manual);
    Sleeper sleeper;
    sleeper.quit = &quit;
    Thread thread;
    ASSERT_TRUE(thread.start(&Sleeper::run, &sleeper));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // most likely asleep by now
    sleeper.start.post();
    sleeper.start.wakeSleepers();
    EXPECT_TRUE(thread.joinFor(10000));
    EXPECT_EQ(sleeper.result.load(), 1);
    thread.join();
}

TEST(Event, AManualEventWakesEverySleeperThatWaitsOnIt)
{
    // Seven workers of one convolver share one quit event.
    Event quit(Event::Reset::Manual);
    std::vector<Sleeper> sleepers(7);
    std::vector<Thread> threads(7);
    for (int i = 0; i < 7; ++i) {
        sleepers[i].quit = &quit;
        ASSERT_TRUE(threads[i].start(&Sleeper::run, &sleepers[i]));
    }
    quit.set();
    for (auto& thread : threads) EXPECT_TRUE(thread.joinFor(10000));
    for (auto& sleeper : sleepers) EXPECT_EQ(sleeper.result.load(), 0);
    for (auto& thread : threads) thread.join();
}

struct Contender {
    Event* event;
    std::atomic<int>* passed;
    static void run(void* raw)
    {
        auto& self = *static_cast<Contender*>(raw);
        if (self.event->waitFor(1500)) self.passed->fetch_add(1);
    }
};

TEST(Event, AnAutomaticEventReleasesOneSleeperPerSignal)
{
    Event event(Event::Reset::Automatic);
    std::atomic<int> passed{0};
    Contender contenders[3] = {{&event, &passed}, {&event, &passed}, {&event, &passed}};
    Thread threads[3];
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(threads[i].start(&Contender::run, &contenders[i]));
    event.set();
    // A second signal while the first is still pending would merge with it.
    for (int waited = 0; passed.load() == 0 && waited < 1000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    event.set();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(passed.load(), 2);
}

}  // namespace
