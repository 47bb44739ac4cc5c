// The release archives as a user receives them: unpacked into empty folders
// by the fixture, the module inside loaded through its entry point like a
// DAW does. Runs natively on the Linux archive and under wine on the Windows
// one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/support/PluginHost.h"

namespace {

namespace fs = std::filesystem;
using valvora::test::PluginHost;

// The fixture's folders as this process sees them; the module paths in the
// form the platform's loader takes (a Z: path under wine).
const fs::path userFolder = fs::path(VALVORA_UNPACKED_DIR) / "user";
const fs::path debugFolder = fs::path(VALVORA_UNPACKED_DIR) / "debug";
const std::string packagedModule =
    std::string(VALVORA_UNPACKED_DIR) + "/user/" VALVORA_PACKAGE_NAME "/" VALVORA_MODULE_FILE;

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::vector<unsigned char> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The CRC a GNU debuglink carries (the zlib/PNG CRC-32), a byte at a time.
std::uint32_t crc32(const std::vector<unsigned char>& data)
{
    std::uint32_t table[256];
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        table[n] = c;
    }
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xffu] ^ (crc >> 8);
    return ~crc;
}

std::vector<float> renderSine(PluginHost& host)
{
    constexpr int frames = 4096;
    constexpr int block = 512;
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.dispatch(effSetBlockSize, 0, block);
    host.dispatch(effMainsChanged, 0, 1);
    std::vector<float> in(frames), left(frames), right(frames);
    constexpr double step = 2.0 * 3.141592653589793 * 220.0 / 48000.0;
    for (int i = 0; i < frames; ++i) in[i] = 0.5f * static_cast<float>(std::sin(step * i));
    for (int start = 0; start < frames; start += block) {
        float* ins[2] = {in.data() + start, in.data() + start};
        float* outs[2] = {left.data() + start, right.data() + start};
        host.process(ins, outs, block);
    }
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

TEST(UserArchive, UnpacksIntoOneFolderWithTheModuleTheInstallTextAndTheLicence)
{
    EXPECT_EQ(namesIn(userFolder), std::set<std::string>{VALVORA_PACKAGE_NAME});
    std::set<std::string> expected{VALVORA_MODULE_FILE, "INSTALL.txt", "LICENSE.txt"};
#ifdef VALVORA_PACKAGE_HAS_LV2
    expected.insert("ValvoraQX70.lv2");
#endif
    EXPECT_EQ(namesIn(userFolder / VALVORA_PACKAGE_NAME), expected);
    for (const auto& entry : fs::recursive_directory_iterator(userFolder)) {
        EXPECT_NE(entry.path().extension(), ".debug") << entry.path() << " belongs in the debug archive";
    }
    EXPECT_GT(fs::file_size(userFolder / VALVORA_PACKAGE_NAME / "INSTALL.txt"), 200u);
    EXPECT_GT(fs::file_size(userFolder / VALVORA_PACKAGE_NAME / "LICENSE.txt"), 200u);
}

TEST(UserArchive, ModuleLoadsThroughItsEntryPointAndNamesItself)
{
    PluginHost host(packagedModule.c_str());
    ASSERT_TRUE(host.loaded()) << packagedModule << ": " << host.loadError();
    AEffect* effect = host.open();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, kEffectMagic);
    EXPECT_EQ(effect->uniqueID, vstFourCC('K', 'V', 'Q', 'X'));
    EXPECT_EQ(host.text(effGetEffectName), "Valvora QX70");
    EXPECT_EQ(host.text(effGetVendorString), "Kelmo");
    EXPECT_EQ(host.text(effGetProductString), "Kelmo Valvora QX70");
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(host.close(), 1);
}

// Stripping must not change what the module does: the packaged module
// renders what the build's own module renders, bit for bit. One host at a
// time, so each render starts from a freshly loaded module.
TEST(UserArchive, ModuleRendersLikeTheBuildsOwnModule)
{
    std::vector<float> packaged, built;
    {
        PluginHost host(packagedModule.c_str());
        ASSERT_NE(host.open(), nullptr) << host.loadError();
        packaged = renderSine(host);
    }
    {
        PluginHost host(VALVORA_MODULE_PATH);
        ASSERT_NE(host.open(), nullptr) << host.loadError();
        built = renderSine(host);
    }
    ASSERT_TRUE(std::all_of(packaged.begin(), packaged.end(), [](float v) { return std::isfinite(v); }));
    const float peak = std::fabs(*std::max_element(
        packaged.begin(), packaged.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); }));
    EXPECT_GT(peak, 1e-3f) << "the default program should sound";
    EXPECT_TRUE(packaged == built) << "the packaged module renders differently from the built one";
}

TEST(DebugArchive, HoldsTheDebugFileThePackagedModuleNames)
{
    const fs::path folder = debugFolder / VALVORA_PACKAGE_NAME;
    std::set<std::string> expected{VALVORA_MODULE_FILE ".debug", "LICENSE.txt"};
#ifdef VALVORA_PACKAGE_HAS_LV2
    expected.insert("ValvoraQX70.lv2");  // the bundle's binaries' debug files, in the bundle's folder
    EXPECT_EQ(namesIn(folder / "ValvoraQX70.lv2"),
              (std::set<std::string>{"ValvoraQX70_lv2.so.debug", "ValvoraQX70_lv2_ui.so.debug"}));
#endif
    EXPECT_EQ(namesIn(folder), expected);
    const std::vector<unsigned char> debugFile = bytesOf(folder / VALVORA_MODULE_FILE ".debug");
    const std::vector<unsigned char> module =
        bytesOf(userFolder / VALVORA_PACKAGE_NAME / VALVORA_MODULE_FILE);
    ASSERT_FALSE(module.empty());
    const std::string debugSection = ".debug_info";
#ifdef VALVORA_BUILD_HAS_DEBUG_INFO
    EXPECT_GT(debugFile.size(), module.size())
        << "the debug information is larger than the code it describes";
    EXPECT_NE(std::search(debugFile.begin(), debugFile.end(), debugSection.begin(), debugSection.end()),
              debugFile.end());
#endif
    EXPECT_EQ(std::search(module.begin(), module.end(), debugSection.begin(), debugSection.end()),
              module.end())
        << "the packaged module still carries debug information";

    // The debuglink: the file name, its terminator, padding to four bytes,
    // then the debug file's CRC-32, little-endian.
    const std::string link = std::string(VALVORA_MODULE_FILE ".debug") + '\0';
    const auto at = std::search(module.begin(), module.end(), link.begin(), link.end());
    ASSERT_NE(at, module.end()) << "the packaged module names no debug file";
    const std::uint32_t crc = crc32(debugFile);
    const std::size_t nameEnd = static_cast<std::size_t>(at - module.begin()) + link.size();
    bool matched = false;
    for (std::size_t i = nameEnd; i < nameEnd + 4 && i + 4 <= module.size(); ++i) {
        const std::uint32_t stored = module[i] | module[i + 1] << 8 | module[i + 2] << 16 |
                                     static_cast<std::uint32_t>(module[i + 3]) << 24;
        matched = matched || stored == crc;
    }
    EXPECT_TRUE(matched) << "the debuglink's CRC is not the debug archive's file";
}

}  // namespace
