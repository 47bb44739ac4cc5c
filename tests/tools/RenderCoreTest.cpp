// The render host's own building blocks: the minimal WAV reader the parity
// test depends on (checked against libsndfile), and the built-in performance
// (deterministic, in tune, at the level it promises, at every rate).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/tools/RenderToolRunner.h"
#include "tools/render/DemoPerformance.h"
#include "tools/render/PluckedString.h"
#include "tools/render/SignalStats.h"
#include "tools/render/SimpleWav.h"

namespace {

using valvora::render::DemoPerformance;
using valvora::render::PluckedString;
using valvora::render::readWav;
using valvora::render::WavAudio;
using valvora::test::ScratchFolder;

TEST(SimpleWav, ReadsWhatLibsndfileWritesInEverySupportedFormat)
{
    ScratchFolder dir;
    for (int subtype : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT}) {
        const std::string path = dir.path("in" + std::to_string(subtype) + ".wav");
        valvora::test::writeTestInput(path, 44100, 2, SF_FORMAT_WAV | subtype, 0.3);
        const auto expected = valvora::test::readAudio(path);
        WavAudio audio;
        std::string error;
        ASSERT_TRUE(readWav(path, audio, error)) << error;
        EXPECT_EQ(audio.sampleRate, 44100);
        ASSERT_EQ(audio.planes.size(), 2u);
        ASSERT_EQ(audio.frames(), expected.planes[0].size());
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t i = 0; i < audio.frames(); ++i)
                ASSERT_EQ(static_cast<float>(audio.planes[c][i]), expected.planes[c][i])
                    << "subtype " << subtype << ", channel " << c << ", frame " << i;
    }
}

TEST(SimpleWav, FloatFilesRoundTripExactlyAndOpenInLibsndfile)
{
    ScratchFolder dir;
    WavAudio audio;
    audio.sampleRate = 96000;
    audio.planes = {{0.0, 0.5, -1.0, 1e-30, 0.125}, {1.5, -0.25, 0.75, -2.0, 0.0}};
    std::string error;
    ASSERT_TRUE(writeFloatWav(dir.path("out.wav"), audio, error)) << error;
    const auto back = valvora::test::readAudio(dir.path("out.wav"));
    EXPECT_EQ(back.sampleRate, 96000);
    EXPECT_EQ(back.subtype, SF_FORMAT_FLOAT);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(back.planes[c][i], static_cast<float>(audio.planes[c][i]));
    EXPECT_EQ(dir.files(), std::vector<std::string>{"out.wav"}) << "the temporary file is renamed, not left";
}

TEST(SimpleWav, RefusesMissingAndForeignFiles)
{
    ScratchFolder dir;
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(readWav(dir.path("absent.wav"), audio, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    valvora::test::writeTestInput(dir.path("x.flac"), 48000, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.1);
    EXPECT_FALSE(readWav(dir.path("x.flac"), audio, error));
    EXPECT_NE(error.find("not a WAV"), std::string::npos);
}

TEST(DemoPerformanceSynthesis, IsDeterministicAndPeaksAtMinusSixDb)
{
    const auto first = DemoPerformance::synthesize(48000.0);
    const auto second = DemoPerformance::synthesize(48000.0);
    ASSERT_EQ(first.size(), static_cast<std::size_t>(DemoPerformance::kSeconds * 48000.0));
    EXPECT_EQ(first, second);
    double peak = 0.0, sum = 0.0;
    for (double x : first) {
        ASSERT_TRUE(std::isfinite(x));
        peak = std::max(peak, std::fabs(x));
        sum += x;
    }
    EXPECT_DOUBLE_EQ(peak, DemoPerformance::kPeak);
    EXPECT_LT(std::fabs(sum / static_cast<double>(first.size())), 1e-4) << "a DI signal carries no DC";
}

TEST(DemoPerformanceSynthesis, AShortenedPerformanceIsThePrefixOfTheWholeOne)
{
    const auto whole = DemoPerformance::synthesize(44100.0);
    const auto part = DemoPerformance::synthesize(44100.0, 2.5);
    ASSERT_EQ(part.size(), static_cast<std::size_t>(2.5 * 44100.0));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
}

TEST(DemoPerformanceSynthesis, KeepsItsLengthAndLevelAtEveryRate)
{
    for (double rate : {44100.0, 96000.0, 192000.0}) {
        const auto samples = DemoPerformance::synthesize(rate);
        EXPECT_EQ(samples.size(), static_cast<std::size_t>(DemoPerformance::kSeconds * rate)) << rate;
        double peak = 0.0;
        for (double x : samples) peak = std::max(peak, std::fabs(x));
        EXPECT_DOUBLE_EQ(peak, DemoPerformance::kPeak) << rate;
    }
}

// The strongest of a few candidate frequencies around and between partials.
double strongestOf(const std::vector<double>& signal, double rate, const std::vector<double>& candidates)
{
    return *std::max_element(candidates.begin(), candidates.end(), [&](double a, double b) {
        return valvora::render::toneAmplitude(signal, a, rate) < valvora::render::toneAmplitude(signal, b, rate);
    });
}

TEST(PluckedStringSynthesis, SoundsAtItsPitchOpenAndPalmMuted)
{
    constexpr double rate = 48000.0;
    for (bool muted : {false, true}) {
        PluckedString string(rate, 82.4);
        string.pluck({110.0, 0.8, 4.0, 0.2, muted}, 7);
        std::vector<double> out(static_cast<std::size_t>(0.25 * rate));
        for (double& x : out) x = string.next();
        EXPECT_EQ(strongestOf(out, rate, {100.0, 104.0, 108.0, 110.0, 112.0, 116.0, 120.0}), 110.0) << muted;
    }
}

TEST(PluckedStringSynthesis, PalmMutingShortensTheNote)
{
    constexpr double rate = 48000.0;
    auto energyAfter = [&](bool muted) {
        PluckedString string(rate, 82.4);
        string.pluck({82.4, 0.8, 4.0, 0.2, muted}, 3);
        double late = 0.0;
        for (int n = 0; n < static_cast<int>(0.6 * rate); ++n) {
            const double x = string.next();
            if (n > static_cast<int>(0.4 * rate)) late += x * x;
        }
        return late;
    };
    EXPECT_LT(energyAfter(true), 1e-3 * energyAfter(false));
}

TEST(PluckedStringSynthesis, BendingRaisesThePitchByTheRatio)
{
    constexpr double rate = 48000.0;
    PluckedString string(rate, 82.4);
    string.pluck({220.0, 0.8, 4.0, 0.2, false}, 11);
    const double wholeTone = std::pow(2.0, 2.0 / 12.0);
    string.setPitchRatio(wholeTone);
    std::vector<double> out(static_cast<std::size_t>(0.3 * rate));
    for (double& x : out) x = string.next();
    const double bent = 220.0 * wholeTone;
    EXPECT_EQ(strongestOf(out, rate, {220.0, 233.1, bent, 261.6}), bent);
}

TEST(SignalFigures, HarmonicsOfAPureAndAClippedSine)
{
    constexpr double rate = 48000.0, f = 220.0;
    std::vector<double> pure(48000), clipped(48000);
    for (std::size_t n = 0; n < pure.size(); ++n) {
        pure[n] = 0.5 * std::sin(2.0 * std::numbers::pi * f * static_cast<double>(n) / rate);
        clipped[n] = std::clamp(pure[n], -0.25, 0.25);
    }
    EXPECT_LT(valvora::render::harmonicsDb(pure, f, rate), -100.0);
    // Hard clipping at half the amplitude leaves odd harmonics about 13 dB down.
    EXPECT_NEAR(valvora::render::harmonicsDb(clipped, f, rate), -13.0, 2.0);
}

}  // namespace
