// The hand-off of parameter changes to the audio thread: each change taken
// once, nothing taken while a writer is inside a change (it stays pending),
// and never half of a program switch, even with the writer running beside
// the reader.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "core/ParamSnapshot.h"

namespace {

using valvora::parameterCount;
using valvora::ParamSnapshot;

constexpr std::int32_t kRateBit = 1 << 10;

void set(ParamSnapshot& s, int index, float value)
{
    s.beginChange();
    s.store(index, value);
    s.endChange();
}

}  // namespace

TEST(ParamSnapshot, aChangeIsTakenOnceWithItsValueAndItsBit)
{
    ParamSnapshot s;
    float values[parameterCount] = {};
    float rate = 0.0f;
    EXPECT_EQ(s.take(values, rate), 0);
    set(s, 4, 0.25f);
    set(s, 7, 0.75f);
    EXPECT_EQ(s.take(values, rate), (1 << 4) | (1 << 7));
    EXPECT_EQ(values[4], 0.25f);
    EXPECT_EQ(values[7], 0.75f);
    EXPECT_EQ(s.value(4), 0.25f);
    EXPECT_EQ(s.take(values, rate), 0) << "taken twice";
}

TEST(ParamSnapshot, aNewRateTravelsWithTheOversampleBit)
{
    ParamSnapshot s;
    s.beginChange();
    s.storeRate(96000.0f);
    s.endChange();
    float values[parameterCount] = {};
    float rate = 0.0f;
    EXPECT_EQ(s.take(values, rate), kRateBit);
    EXPECT_EQ(rate, 96000.0f);
}

TEST(ParamSnapshot, nothingIsTakenWhileAWriterIsInsideAChangeNestedOrNot)
{
    ParamSnapshot s;
    float values[parameterCount] = {};
    float rate = 0.0f;
    s.beginChange();
    s.store(0, 1.0f);
    s.beginChange();  // a program switch calling setParameter
    s.store(1, 1.0f);
    s.endChange();
    EXPECT_EQ(s.take(values, rate), 0) << "the inner end is not the end of the change";
    s.endChange();
    EXPECT_EQ(s.take(values, rate), 0b11) << "the deferred changes were lost";
}

// A writer switching "programs" (all 14 values set to one number in one
// change) beside a reader: every take sees one program whole.
TEST(ParamSnapshot, aReaderNeverSeesHalfOfAProgramSwitch)
{
    ParamSnapshot s;
    std::mutex writersLock;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int program = 1; program <= 20000; ++program) {
            std::lock_guard<std::mutex> hold(writersLock);
            s.beginChange();
            for (int i = 0; i < parameterCount; ++i) s.store(i, static_cast<float>(program));
            s.endChange();
        }
        done.store(true);
    });
    long taken = 0, torn = 0;
    float last = 0.0f;
    while (!done.load() || s.changedMask.load() != 0) {
        float values[parameterCount] = {};
        float rate = 0.0f;
        if (s.take(values, rate) == 0) continue;
        ++taken;
        for (int i = 1; i < parameterCount; ++i) torn += values[i] != values[0];
        EXPECT_GE(values[0], last) << "an older program after a newer one";
        last = values[0];
    }
    writer.join();
    EXPECT_GT(taken, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(last, 20000.0f) << "the last switch was never taken";
}
