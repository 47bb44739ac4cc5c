// What valvora-render writes: the same sound through the 32-bit and 64-bit
// paths, the same samples for every block size (the effect works sample by
// sample), the formats and channel counts asked for, and the demo's files.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/tools/RenderToolRunner.h"

namespace {

using valvora::test::AudioData;
using valvora::test::readAudio;
using valvora::test::runTool;
using valvora::test::ScratchFolder;

// Oversampling, tube mode, reverb and cabinet in various combinations.
const std::vector<std::string> kPrograms = {"0", "7", "10"};

class RenderToolOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        valvora::test::writeTestInput(dir.path("in.wav"), 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2.0);
    }

    AudioData render(const std::string& name, std::vector<std::string> options)
    {
        options.insert(options.begin(), {"--plugin", VALVORA_MODULE_PATH, "--format", "float"});
        options.push_back(dir.path("in.wav"));
        options.push_back(dir.path(name));
        const auto run = runTool(options);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return readAudio(dir.path(name));
    }

    ScratchFolder dir;
};

float largestDifference(const AudioData& a, const AudioData& b)
{
    EXPECT_EQ(a.planes.size(), b.planes.size());
    float worst = 0.0f;
    for (std::size_t c = 0; c < std::min(a.planes.size(), b.planes.size()); ++c) {
        EXPECT_EQ(a.planes[c].size(), b.planes[c].size());
        for (std::size_t i = 0; i < std::min(a.planes[c].size(), b.planes[c].size()); ++i)
            worst = std::max(worst, std::fabs(a.planes[c][i] - b.planes[c][i]));
    }
    return worst;
}

float peak(const AudioData& a)
{
    float p = 0.0f;
    for (const auto& plane : a.planes)
        for (float x : plane) p = std::max(p, std::fabs(x));
    return p;
}

TEST_F(RenderToolOutput, DoublePrecisionSoundsTheSameWithinFloatPrecision)
{
    for (const auto& program : kPrograms) {
        const AudioData single = render("single.wav", {"--program", program});
        const AudioData twice = render("double.wav", {"--program", program, "--double"});
        ASSERT_GT(peak(single), 0.0f) << program;
        EXPECT_LE(largestDifference(single, twice), 1.2e-7f * std::max(1.0f, peak(single))) << "program " << program;
    }
}

TEST_F(RenderToolOutput, EveryBlockSizeGivesIdenticalSamples)
{
    for (const auto& program : kPrograms) {
        const AudioData reference = render("b64.wav", {"--program", program, "--block", "64"});
        ASSERT_GT(peak(reference), 0.0f) << program;
        for (const char* block : {"1", "4096", "65536"}) {
            const AudioData other = render("other.wav", {"--program", program, "--block", block});
            EXPECT_EQ(largestDifference(reference, other), 0.0f) << "program " << program << ", block " << block;
        }
    }
}

TEST_F(RenderToolOutput, SwitchWordsAndNumbersMeanTheSame)
{
    const AudioData words = render("words.wav", {"--set", "Channel=drive", "--set", "TubeMode=ON"});
    const AudioData numbers = render("numbers.wav", {"--set", "Channel=1", "--set", "TubeMode=1"});
    const AudioData normal = render("normal.wav", {"--set", "Channel=norm"});
    EXPECT_EQ(largestDifference(words, numbers), 0.0f);
    EXPECT_GT(largestDifference(words, normal), 0.0f) << "the setting must reach the effect";
}

TEST_F(RenderToolOutput, OutputFormatAndChannelsFollowTheOptions)
{
    valvora::test::writeTestInput(dir.path("in24.flac"), 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.5);
    auto run = runTool({"--plugin", VALVORA_MODULE_PATH, dir.path("in24.flac"), dir.path("same.aiff")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const AudioData same = readAudio(dir.path("same.aiff"));
    EXPECT_EQ(same.subtype, SF_FORMAT_PCM_24) << "the input's sample format by default";
    EXPECT_EQ(same.sampleRate, 44100);
    EXPECT_EQ(same.channels, 2);

    run = runTool({"--plugin", VALVORA_MODULE_PATH, "--mono", "--format", "16", dir.path("in24.flac"),
                   dir.path("mono.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const AudioData mono = readAudio(dir.path("mono.wav"));
    EXPECT_EQ(mono.subtype, SF_FORMAT_PCM_16);
    EXPECT_EQ(mono.channels, 1);
    EXPECT_EQ(mono.planes[0].size(), same.planes[0].size());
}

TEST_F(RenderToolOutput, QuietOffATerminalWithOneSummaryLine)
{
    const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--program", "Hi-Gain", dir.path("in.wav"),
                              dir.path("out.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "") << "no progress bar when stderr is not a terminal";
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    for (const char* figure : {"[Hi-Gain]", "in peak -", "out peak", "RMS", "real time"})
        EXPECT_NE(run.out.find(figure), std::string::npos) << figure << " in " << run.out;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.wav", "out.wav"})) << "no temporary file left";
}

TEST(RenderToolDemo, WritesEveryProgramTheDryInputAndThePicture)
{
    ScratchFolder dir;
    const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--out", dir.root(), "--seconds", "4.5"});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const auto files = dir.files();
    EXPECT_EQ(files.size(), 18u);
    for (const char* name : {"00 Default.wav", "06 Hi-Gain.wav", "10 Tube Shred.wav", "15 Default5.wav", "dry.wav",
                             "programs.png"})
        EXPECT_NE(std::find(files.begin(), files.end(), name), files.end()) << name;
    const AudioData dry = readAudio(dir.path("dry.wav"));
    const AudioData clean = readAudio(dir.path("00 Default.wav"));
    EXPECT_EQ(dry.channels, 1);
    EXPECT_EQ(clean.channels, 2);
    EXPECT_EQ(clean.planes[0].size(), dry.planes[0].size());
    EXPECT_NEAR(static_cast<double>(dry.planes[0].size()) / 48000.0, 4.5, 1e-3);
    std::istringstream lines(run.out);
    std::string line;
    int rows = 0;
    while (std::getline(lines, line)) rows += line.size() > 4 && std::isdigit(static_cast<unsigned char>(line[1]));
    EXPECT_EQ(rows, 16) << run.out;
}

}  // namespace
