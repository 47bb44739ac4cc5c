// The Windows DLL, rendered under wine by the minimal host, sounds like the
// Linux module: the demo input through programs 0, 6 and 10 agrees within
// 1e-5 at every sample (the two builds use different maths libraries).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/render/SimpleWav.h"

namespace {

using valvora::render::readWav;
using valvora::render::WavAudio;

constexpr double kTolerance = 1e-5;

WavAudio load(const std::string& name)
{
    WavAudio audio;
    std::string error;
    EXPECT_TRUE(readWav(std::string(VALVORA_PARITY_DIR) + "/" + name, audio, error)) << error;
    return audio;
}

class WindowsParity : public ::testing::TestWithParam<int> {};

TEST_P(WindowsParity, MatchesTheLinuxModuleWithin1e5)
{
    const std::string program = std::to_string(GetParam());
    const WavAudio linux = load("linux-" + program + ".wav");
    const WavAudio windows = load("windows-" + program + ".wav");
    ASSERT_EQ(windows.planes.size(), 2u);
    ASSERT_EQ(linux.planes.size(), windows.planes.size());
    ASSERT_EQ(linux.frames(), windows.frames());
    ASSERT_EQ(linux.sampleRate, windows.sampleRate);

    double peak = 0.0, worst = 0.0;
    std::size_t where = 0, nonFinite = 0;
    for (std::size_t c = 0; c < linux.planes.size(); ++c)
        for (std::size_t i = 0; i < linux.frames(); ++i) {
            peak = std::max(peak, std::fabs(linux.planes[c][i]));
            const double difference = std::fabs(linux.planes[c][i] - windows.planes[c][i]);
            if (!std::isfinite(difference)) ++nonFinite;
            else if (difference > worst) {
                worst = difference;
                where = i;
            }
        }
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_GT(peak, 1e-3) << "the reference must carry sound";
    EXPECT_LE(worst, kTolerance) << "largest difference at frame " << where;
}

INSTANTIATE_TEST_SUITE_P(DemoPrograms, WindowsParity, ::testing::Values(0, 6, 10));

}  // namespace
