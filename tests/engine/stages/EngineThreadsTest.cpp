// The convolvers' worker threads over whole engine lifetimes: 18 per engine,
// none left behind, no descriptors leaked, also when an engine goes away with
// blocks in flight.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <system_error>

#include "engine/AmpEngine.h"
#include "platform/Threading.h"
#include "tests/convolution/ThreadBaseline.h"

namespace valvora {
namespace {

constexpr int workersPerEngine = 2 * 7 + 4;

// Open descriptors where the system shows them (Linux); -1 elsewhere. Under
// wine, /proc/self/fd would list the emulator's own Unix descriptors, which
// come and go with its internal work and say nothing about ours.
int openDescriptors()
{
#if defined(_WIN32)
    return -1;
#endif
    std::error_code ec;
    std::filesystem::directory_iterator it("/proc/self/fd", ec);
    if (ec) return -1;
    int count = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) ++count;
    return count;
}

void play(AmpEngine& engine, int frames)
{
    for (int t = 0; t < frames; ++t) {
        for (int ch = 0; ch < 2; ++ch) {
            ChannelSample s;
            s.input = 0.2 * std::sin(0.03 * t + ch);
            s.channel = ch;
            engine.process(s);
        }
    }
}

TEST(EngineThreads, anEngineRunsEighteenWorkersAndLeavesNoneBehind)
{
    const int before = testing::settledThreadCount();
    {
        AmpEngine engine;
        EXPECT_EQ(testing::threadCountReaching(before + workersPerEngine), before + workersPerEngine);
    }
    EXPECT_EQ(testing::threadCountReaching(before), before);
}

TEST(EngineThreads, twoHundredLifetimesLeaveThreadsAndDescriptorsAsTheyWere)
{
    const int threads = testing::settledThreadCount();
    const int descriptors = openDescriptors();
    const double rates[] = {44100.0, 48000.0, 96000.0, 32000.0, 192000.0};
    for (int cycle = 0; cycle < 200; ++cycle) {
        AmpEngine engine;
        engine.setRate(rates[cycle % 5]);  // 48 kHz family rates reload the cabinets
        engine.setReverb(0.6);
        engine.setSpeakerSim(true);
        engine.setSpeakerMode(cycle & 1);
        engine.update();
        play(engine, 300 + cycle);  // ends at a different point of the block schedule each time
        ASSERT_EQ(testing::threadCountReaching(threads + workersPerEngine), threads + workersPerEngine)
            << cycle;
    }
    EXPECT_EQ(testing::threadCountReaching(threads), threads);
    if (descriptors >= 0) {
        EXPECT_EQ(openDescriptors(), descriptors);
    }
}

TEST(EngineThreads, destructionWithTheLongestBlocksInFlightEndsEveryWorker)
{
    const int before = testing::settledThreadCount();
    {
        AmpEngine engine;
        engine.setReverb(1.0);
        engine.setSpeakerSim(true);
        engine.update();
        // At 44.1 kHz the reverb runs at half rate, and the 8192-sample level's
        // blocks start at its convolver's sample 4032 (and every 8192 after):
        // 2 * 4032 frames hand it its first block, still being computed.
        play(engine, 2 * 4032 + 2);
    }
    EXPECT_EQ(testing::threadCountReaching(before), before);
}

TEST(EngineThreads, rateChangesBetweenFamiliesRestartTheCabinetWorkersInPlace)
{
    const int before = testing::settledThreadCount();
    AmpEngine engine;
    engine.setSpeakerSim(true);
    for (double rate : {48000.0, 44100.0, 96000.0, 88200.0, 192000.0, 11025.0}) {
        engine.setRate(rate);
        engine.update();
        play(engine, 700);
        EXPECT_EQ(testing::threadCountReaching(before + workersPerEngine), before + workersPerEngine) << rate;
    }
}

}  // namespace
}  // namespace valvora
