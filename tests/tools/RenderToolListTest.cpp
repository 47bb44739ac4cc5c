// --list shows exactly what the effect itself reports through the
// dispatcher: parameter names and display texts after --program and --set,
// and all program names.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/PluginHost.h"
#include "tests/tools/RenderToolRunner.h"

namespace {

using valvora::test::PluginHost;
using valvora::test::runTool;

struct Listing {
    std::vector<std::string> names, displays, programs;
    int current = -1;
};

// Parameter lines: "  NN  name....  display"; program lines: "* NN  name".
Listing parse(const std::string& text)
{
    Listing listing;
    std::istringstream lines(text);
    std::string line;
    enum { None, Parameters, Programs } section = None;
    while (std::getline(lines, line)) {
        if (line.rfind("Parameters", 0) == 0) section = Parameters;
        else if (line.rfind("Programs", 0) == 0) section = Programs;
        else if (line.size() > 6 && section == Parameters) {
            listing.names.push_back(line.substr(6, 8).erase(line.substr(6, 8).find_last_not_of(' ') + 1));
            listing.displays.push_back(line.substr(16));
        } else if (line.size() > 6 && section == Programs) {
            if (line[0] == '*') listing.current = static_cast<int>(listing.programs.size());
            listing.programs.push_back(line.substr(6));
        }
    }
    return listing;
}

class RenderToolListing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(host.open(), nullptr) << host.loadError(); }

    void expectSame(const Listing& listing, int program)
    {
        ASSERT_EQ(listing.names.size(), static_cast<std::size_t>(host.effect()->numParams));
        for (int i = 0; i < host.effect()->numParams; ++i) {
            EXPECT_EQ(listing.names[static_cast<std::size_t>(i)], host.text(effGetParamName, i)) << i;
            EXPECT_EQ(listing.displays[static_cast<std::size_t>(i)], host.text(effGetParamDisplay, i)) << i;
        }
        EXPECT_EQ(listing.current, program);
    }

    PluginHost host{VALVORA_MODULE_PATH};
};

TEST_F(RenderToolListing, ForTheStartupProgram)
{
    const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectSame(parse(run.out), 0);
}

TEST_F(RenderToolListing, AfterSelectingProgramsByNumberAndName)
{
    for (const auto& [spec, program] : std::vector<std::pair<std::string, int>>{{"6", 6}, {"tube shred", 10},
                                                                               {"  Crunch ", 3}}) {
        const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--program", spec, "--list"});
        ASSERT_EQ(run.exitCode, 0) << spec << ": " << run.err;
        host.dispatch(effSetProgram, 0, program);
        expectSame(parse(run.out), program);
    }
}

TEST_F(RenderToolListing, AfterSettingsByFullNameAndSwitchWord)
{
    const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--program", "Hi-Gain", "--set", "Drive Volume=0.57",
                              "--set", "tubemode=on", "--set", "SpeakerMode=1x10\"", "--set", "channel=norm",
                              "--set", "Channels=1", "--set", "Gain=0.25", "--set", "Gain=0.75", "--list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    host.dispatch(effSetProgram, 0, 6);
    host.setParameter(3, 0.57f);
    host.setParameter(12, 1.0f);
    host.setParameter(13, 0.0f);
    host.setParameter(1, 0.0f);
    host.setParameter(9, 0.0f);
    host.setParameter(4, 0.75f);  // the later setting wins
    const Listing listing = parse(run.out);
    expectSame(listing, 6);
    EXPECT_EQ(listing.displays[3], "0.57");
    EXPECT_EQ(listing.displays[12], "ON");
}

TEST_F(RenderToolListing, ProgramNamesAreTheEffectsOwn)
{
    const auto run = runTool({"--plugin", VALVORA_MODULE_PATH, "--list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Listing listing = parse(run.out);
    ASSERT_EQ(listing.programs.size(), static_cast<std::size_t>(host.effect()->numPrograms));
    for (int p = 0; p < host.effect()->numPrograms; ++p) {
        host.dispatch(effSetProgram, 0, p);
        EXPECT_EQ(listing.programs[static_cast<std::size_t>(p)], host.text(effGetProgramName)) << p;
    }
}

}  // namespace
