// The product's identity as every format reports it, and the about view's
// version line built from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/ProductIdentity.h"
#include "plugin/vst24.h"

namespace {

namespace identity = valvora::identity;

TEST(ProductIdentity, UniqueIdPacksKVQXHighByteFirstAsHostsDo)
{
    EXPECT_EQ(identity::uniqueId, vstFourCC('K', 'V', 'Q', 'X'));
    EXPECT_EQ(static_cast<std::uint32_t>(identity::uniqueId) >> 24, static_cast<std::uint32_t>('K'));
    EXPECT_EQ(identity::uniqueId & 0xff, 'X');
}

TEST(ProductIdentity, VendorVersionIsTheVersionAsOneDecimalNumber)
{
    EXPECT_EQ(identity::vendorVersion, 1000);
    EXPECT_EQ(identity::vendorVersion,
              identity::versionMajor * 1000 + identity::versionMinor * 100 + identity::versionPatch);
}

TEST(ProductIdentity, ProjectAndArchivesCarryTheHeadersVersion)
{
    const std::string fromHeader = std::to_string(identity::versionMajor) + "." +
                                   std::to_string(identity::versionMinor) + "." +
                                   std::to_string(identity::versionPatch);
    EXPECT_EQ(fromHeader, VALVORA_PROJECT_VERSION);
}

TEST(ProductIdentity, NamesFitTheHostsTextLimits)
{
    EXPECT_STREQ(identity::effectName, "Valvora QX70");
    EXPECT_STREQ(identity::vendorName, "Kelmo");
    EXPECT_STREQ(identity::productName, "Kelmo Valvora QX70");
    EXPECT_LE(std::strlen(identity::effectName), static_cast<std::size_t>(kVstMaxEffectNameLen));
    EXPECT_LE(std::strlen(identity::vendorName), static_cast<std::size_t>(kVstMaxVendorStrLen));
    EXPECT_LE(std::strlen(identity::productName), static_cast<std::size_t>(kVstMaxProductStrLen));
}

TEST(VersionLine, ReadsAsTheAboutViewPrintsIt)
{
    char line[96];
    const int length = identity::formatVersionLine(line, sizeof(line), "Win64", "Mar 20 2014");
    EXPECT_STREQ(line, "ver. 1.0.00 / Win64\n\rMar 20 2014");
    EXPECT_EQ(length, static_cast<int>(std::strlen(line)));
}

TEST(VersionLine, TakesTheBuildsOwnDateUnlessGivenOne)
{
    char line[96];
    identity::formatVersionLine(line, sizeof(line), "Linux");
    EXPECT_EQ(std::string(line), std::string("ver. 1.0.00 / Linux\n\r") + identity::buildDate());
}

TEST(VersionLine, StaysInsideASmallBufferAndTerminatesIt)
{
    char guarded[16];
    std::memset(guarded, '#', sizeof(guarded));
    const int wanted = identity::formatVersionLine(guarded, 8, "Win64", "Mar 20 2014");
    EXPECT_STREQ(guarded, "ver. 1.");
    EXPECT_EQ(guarded[8], '#');
    EXPECT_EQ(wanted, static_cast<int>(std::strlen("ver. 1.0.00 / Win64\n\rMar 20 2014")));

    EXPECT_EQ(identity::formatVersionLine(guarded, 0, "Win64", "x"), wanted - 10);
    EXPECT_EQ(guarded[0], 'v');
}

TEST(VersionLine, NullTextsPrintAsEmpty)
{
    char line[96];
    identity::formatVersionLine(line, sizeof(line), nullptr, nullptr);
    EXPECT_STREQ(line, "ver. 1.0.00 / \n\r");
}

}  // namespace
