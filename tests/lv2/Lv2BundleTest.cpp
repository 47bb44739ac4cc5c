// The built bundle as Debian's LV2 tools and the dynamic loader see it: the
// validator's verdict, what lv2info lists, and what the binary exports and
// needs at load time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/PluginHost.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct CommandResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

CommandResult runCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    result.status = pclose(pipe);
    return result;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    const auto last = s.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const std::string bundle = VALVORA_LV2_BUNDLE;
#ifdef VALVORA_SANITIZED_BUILD
constexpr bool sanitizedBuild = true;
#else
constexpr bool sanitizedBuild = false;
#endif

// A folder holding only a link to the built bundle, for LV2_PATH: lilv takes
// every entry of an LV2_PATH folder for a bundle, and the build's bin folder
// holds the other programs too.
std::string lv2PathWithOnlyOurBundle()
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("valvora-lv2-path-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_directory_symlink(bundle, dir / "ValvoraQX70.lv2");
    return dir.string();
}

TEST(Lv2Bundle, validatorReportsNoErrorAndNoWarning)
{
    const CommandResult r = runCommand(std::string(VALVORA_LV2_VALIDATE) + " " + bundle + "/manifest.ttl " +
                                       bundle + "/valvora-qx70.ttl " + bundle + "/presets.ttl");
    EXPECT_EQ(r.status, 0) << r.output;
    // sord_validate reports each finding as "error: ..." or "warning: ..."
    // and sums them up at the end.
    EXPECT_NE(r.output.find("Found 0 errors"), std::string::npos) << r.output;
    for (const std::string& line : lines(r.output)) {
        EXPECT_NE(lower(line).rfind("error", 0), 0u) << line;
        EXPECT_NE(lower(line).rfind("warn", 0), 0u) << line;
    }
}

class Lv2Info : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        path = lv2PathWithOnlyOurBundle();
        info =
            new CommandResult(runCommand("LV2_PATH=" + path + " " + VALVORA_LV2INFO + " " + VALVORA_LV2_URI));
    }
    static void TearDownTestSuite()
    {
        std::filesystem::remove_all(path);
        delete info;
        info = nullptr;
    }
    static CommandResult* info;
    static std::string path;
};
CommandResult* Lv2Info::info = nullptr;
std::string Lv2Info::path;

TEST_F(Lv2Info, listsThePluginByItsUriNameAndVendor)
{
    ASSERT_EQ(info->status, 0) << info->output;
    const auto all = lines(info->output);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(trimmed(all[0]), VALVORA_LV2_URI);
    EXPECT_NE(info->output.find("Name:              Valvora QX70"), std::string::npos) << info->output;
    EXPECT_NE(info->output.find("Author:            Kelmo"), std::string::npos) << info->output;
    EXPECT_NE(info->output.find("Has latency:       no"), std::string::npos) << info->output;
}

TEST_F(Lv2Info, listsEighteenPortsInIndexOrder)
{
    std::vector<std::string> ports;
    for (const std::string& line : lines(info->output)) {
        const std::string t = trimmed(line);
        if (t.rfind("Port ", 0) == 0) ports.push_back(t);
    }
    ASSERT_EQ(ports.size(), 18u) << info->output;
    for (std::size_t i = 0; i < ports.size(); ++i) EXPECT_EQ(ports[i], "Port " + std::to_string(i) + ":");
}

TEST_F(Lv2Info, listsTheSixteenProgramsAsPresetsByTheVstModulesNames)
{
    // The names as the VST module gives them, program by program.
    std::vector<std::string> expected;
    {
        valvora::test::PluginHost vst(VALVORA_MODULE_PATH);
        ASSERT_NE(vst.open(), nullptr) << vst.loadError();
        for (int p = 0; p < 16; ++p) {
            vst.dispatch(effSetProgram, 0, p);
            expected.push_back(vst.text(effGetProgramName));
        }
    }
    // lv2info prints "Presets:" and then one indented label per line.
    std::vector<std::string> presets;
    bool inPresets = false;
    for (const std::string& line : lines(info->output)) {
        if (trimmed(line) == "Presets:") {
            inPresets = true;
            continue;
        }
        if (!inPresets) continue;
        if (trimmed(line).empty() || line.find(':') != std::string::npos) break;
        presets.push_back(trimmed(line));
    }
    std::sort(presets.begin(), presets.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_THAT(presets, ElementsAreArray(expected)) << info->output;
}

TEST_F(Lv2Info, listsThePanelAsAnX11UiWithItsOwnBinaryInTheBundle)
{
    const std::string listing = info->output;
    const auto uis = listing.find("UIs:");
    ASSERT_NE(uis, std::string::npos) << listing;
    const std::vector<std::string> rest = lines(listing.substr(uis));
    ASSERT_GE(rest.size(), 4u) << listing;
    EXPECT_EQ(trimmed(rest[1]), std::string(VALVORA_LV2_URI) + "#ui");
    EXPECT_EQ(trimmed(rest[2]), "Class:  http://lv2plug.in/ns/extensions/ui#X11UI");
    EXPECT_EQ(trimmed(rest[3]), "Binary: file://" + path + "/ValvoraQX70.lv2/ValvoraQX70_lv2_ui.so");
}

// The plug-in's binary and the UI's, each as a host's loader sees it.
struct Lv2BinaryCase {
    const char* path;
    const char* descriptor;
    bool mayNeedX11;
};

std::vector<std::string> neededLibraries(const char* binary, std::string& listing)
{
    const CommandResult r = runCommand(std::string("readelf -d ") + binary);
    listing = r.output;
    std::vector<std::string> needed;
    if (r.status != 0) return needed;
    for (const std::string& line : lines(r.output)) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const auto open = line.find('[');
        const auto close = line.find(']');
        needed.push_back(line.substr(open + 1, close - open - 1));
    }
    return needed;
}

class Lv2Binary : public ::testing::TestWithParam<Lv2BinaryCase> {};

TEST_P(Lv2Binary, exportsOnlyItsDescriptorFunction)
{
    if (sanitizedBuild) GTEST_SKIP() << "a sanitizer runtime is linked in";
    const CommandResult r = runCommand(std::string("nm -D --defined-only ") + GetParam().path);
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> symbols;
    for (const std::string& line : lines(r.output)) {
        if (line.empty()) continue;
        symbols.push_back(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_THAT(symbols, ElementsAreArray({GetParam().descriptor})) << r.output;
}

// A headless host loads the plug-in without a display library on the
// machine; only the UI may need libX11.
TEST_P(Lv2Binary, needsOnlyGlibcTheGccRuntimesAndForTheUiX11)
{
    if (sanitizedBuild) GTEST_SKIP() << "a sanitizer runtime is linked in";
    std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1",
                                     "ld-linux-x86-64.so.2"};
    if (GetParam().mayNeedX11) allowed.insert("libX11.so.6");
    std::string listing;
    const std::vector<std::string> needed = neededLibraries(GetParam().path, listing);
    std::vector<std::string> unexpected;
    for (const std::string& library : needed)
        if (!allowed.count(library)) unexpected.push_back(library);
    EXPECT_FALSE(needed.empty()) << listing;
    EXPECT_THAT(unexpected, IsEmpty()) << listing;
}

INSTANTIATE_TEST_SUITE_P(Bundle, Lv2Binary,
                         ::testing::Values(Lv2BinaryCase{VALVORA_LV2_BINARY, "lv2_descriptor", false},
                                           Lv2BinaryCase{VALVORA_LV2_UI_BINARY, "lv2ui_descriptor", true}),
                         [](const auto& which) { return which.param.mayNeedX11 ? "ui" : "plugin"; });

}  // namespace
