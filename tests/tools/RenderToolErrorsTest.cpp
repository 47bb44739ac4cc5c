// Every bad input to valvora-render: one line on stderr naming the problem, a
// distinct non-zero exit code, and no output file (not even a partial one).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/tools/RenderToolRunner.h"

namespace {

using valvora::test::runTool;
using valvora::test::ScratchFolder;
using valvora::test::ToolRun;

constexpr int kUsage = 2, kInput = 3, kModule = 4, kOutput = 5;

class RenderToolBadInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        valvora::test::writeTestInput(dir.path("in.wav"), 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.5);
        before = dir.files();
    }

    // Runs the tool and checks the failure contract; returns the run for more checks.
    ToolRun expectFailure(std::vector<std::string> args, int code, const std::string& message)
    {
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.exitCode, code) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << "stderr: " << run.err;
        EXPECT_EQ(run.err.rfind("valvora-render: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
        EXPECT_EQ(dir.files(), before) << "no output or temporary file may remain";
        return run;
    }

    std::string in() const { return dir.path("in.wav"); }
    std::string out() const { return dir.path("out.wav"); }

    ScratchFolder dir;
    std::vector<std::string> before;
};

TEST_F(RenderToolBadInput, MissingUnreadableOrForeignInputFiles)
{
    expectFailure({dir.path("absent.wav"), out()}, kInput, "does not exist");

    std::ofstream(dir.path("text.wav")) << "not audio at all\n";
    before = dir.files();
    expectFailure({dir.path("text.wav"), out()}, kInput, "unsupported input format");

    mkdir(dir.path("folder.wav").c_str(), 0755);
    before = dir.files();
    expectFailure({dir.path("folder.wav"), out()}, kInput, "is a folder");
}

TEST_F(RenderToolBadInput, InputWithoutReadPermission)
{
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::ofstream(dir.path("locked.wav")) << "x";
    chmod(dir.path("locked.wav").c_str(), 0);
    before = dir.files();
    expectFailure({dir.path("locked.wav"), out()}, kInput, "cannot read");
}

TEST_F(RenderToolBadInput, UnsupportedChannelCountsAndSampleRates)
{
    valvora::test::writeTestInput(dir.path("three.wav"), 48000, 3, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    valvora::test::writeTestInput(dir.path("low.wav"), 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    valvora::test::writeTestInput(dir.path("edge.wav"), 10000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1);
    before = dir.files();
    expectFailure({dir.path("three.wav"), out()}, kInput, "3 channels");
    expectFailure({dir.path("low.wav"), out()}, kInput, "sample rate 8000");
    expectFailure({dir.path("edge.wav"), out()}, kInput, "sample rate 10000");
}

TEST_F(RenderToolBadInput, UnwritableOrUnsupportedOutputs)
{
    expectFailure({in(), dir.path("out.mp3")}, kOutput, "unsupported output format");
    expectFailure({in(), dir.path("noextension")}, kOutput, "unsupported output format");
    expectFailure({"--format", "float", in(), dir.path("out.flac")}, kOutput, "unsupported output format");
    expectFailure({in(), dir.path("missing-folder/out.wav")}, kOutput, "cannot write");
}

TEST_F(RenderToolBadInput, UnknownProgramsByNumberAndName)
{
    expectFailure({"--program", "16", in(), out()}, kUsage, "unknown program 16");
    expectFailure({"--program", "-1", in(), out()}, kUsage, "unknown program -1");
    expectFailure({"--program", "2.5", in(), out()}, kUsage, "unknown program 2.5");
    expectFailure({"--program", "Hi Gain", in(), out()}, kUsage, "unknown program \"Hi Gain\"");
}

TEST_F(RenderToolBadInput, UnknownParametersAndMalformedSettings)
{
    expectFailure({"--set", "Volume=0.5", in(), out()}, kUsage, "unknown parameter \"Volume\"");
    expectFailure({"--set", "Drive=0.5", in(), out()}, kUsage, "unknown parameter \"Drive\"");
    expectFailure({"--set", "Gain", in(), out()}, kUsage, "Name=value");
}

TEST_F(RenderToolBadInput, ValuesOutsideTheRangeOrNotUnderstood)
{
    expectFailure({"--set", "Gain=1.5", in(), out()}, kUsage, "out of range");
    expectFailure({"--set", "Gain=-0.01", in(), out()}, kUsage, "out of range");
    expectFailure({"--set", "Gain=nan", in(), out()}, kUsage, "out of range");
    expectFailure({"--set", "Gain=loud", in(), out()}, kUsage, "invalid value \"loud\"");
    expectFailure({"--set", "TubeMode=maybe", in(), out()}, kUsage, "OFF / ON");
    expectFailure({"--set", "Channels=3", in(), out()}, kUsage, "out of range");
    expectFailure({"--set", "Reverb=2", "--out", dir.path("demo")}, kUsage, "out of range");
}

TEST_F(RenderToolBadInput, BlockSizesOutsideOneTo65536)
{
    expectFailure({"--block", "0", in(), out()}, kUsage, "out of range");
    expectFailure({"--block", "65537", in(), out()}, kUsage, "out of range");
    expectFailure({"--block", "64k", in(), out()}, kUsage, "whole number");
}

TEST_F(RenderToolBadInput, ModulesThatDoNotLoadOrGiveNoEffect)
{
    expectFailure({"--plugin", dir.path("absent.so"), in(), out()}, kModule, "cannot load module");
    expectFailure({"--plugin", in(), in(), out()}, kModule, "cannot load module");
    expectFailure({"--plugin", VALVORA_NO_ENTRY_MODULE, in(), out()}, kModule, "no VSTPluginMain entry point");
    expectFailure({"--plugin", VALVORA_NULL_EFFECT_MODULE, in(), out()}, kModule, "returned no effect");
    expectFailure({"--plugin", VALVORA_NULL_EFFECT_MODULE, "--list"}, kModule, "returned no effect");
    expectFailure({"--plugin", VALVORA_NULL_EFFECT_MODULE, "--out", dir.path("demo")}, kModule, "returned no effect");
}

TEST_F(RenderToolBadInput, MalformedCommandLines)
{
    expectFailure({"--frobnicate", in(), out()}, kUsage, "unknown option --frobnicate");
    expectFailure({in(), out(), "--program"}, kUsage, "--program needs a value");
    expectFailure({in()}, kUsage, "an input file and an output file");
    expectFailure({in(), out(), dir.path("third.wav")}, kUsage, "an input file and an output file");
    expectFailure({"--format", "8", in(), out()}, kUsage, "--format");
    expectFailure({"--list", "--bench"}, kUsage, "cannot be combined");
}

TEST_F(RenderToolBadInput, AFailedRenderLeavesAnExistingOutputUntouched)
{
    std::ofstream(out()) << "previous render";
    before = dir.files();
    expectFailure({"--set", "Gain=2", in(), out()}, kUsage, "out of range");
    std::ifstream previous(out());
    std::string text;
    std::getline(previous, text);
    EXPECT_EQ(text, "previous render");
}

}  // namespace
