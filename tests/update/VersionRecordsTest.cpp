#include "editor/update/VersionRecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/update/UpdateMessage.h"
#include "tests/update/VersionFileBytes.h"

namespace valvora {
namespace {
using testing::otherId;
using testing::ourId;
using testing::versionFile;

std::int32_t versionIn(const std::string& file)
{
    return VersionRecords::findIn(reinterpret_cast<const unsigned char*>(file.data()), file.size(), ourId);
}

TEST(VersionRecords, keyIsTheUniqueIdThePluginReports)
{
    EXPECT_EQ(UpdateMessage::productKey, ourId);
}

TEST(VersionRecords, singleRecordWithOurIdGivesItsVersion)
{
    EXPECT_EQ(versionIn(versionFile({{ourId, 1000}})), 1000);
    EXPECT_EQ(versionIn(versionFile({{ourId, 1001}})), 1001);
    EXPECT_EQ(versionIn(versionFile({{ourId, 999}})), 999);
}

TEST(VersionRecords, versionIsSignedLittleEndian)
{
    EXPECT_EQ(versionIn(versionFile({{ourId, -2}})), -2);
    EXPECT_EQ(versionIn(versionFile({{ourId, 0x01020304}})), 0x01020304);
}

TEST(VersionRecords, otherPluginsRecordsAreSkipped)
{
    EXPECT_EQ(versionIn(versionFile({{otherId, 1500}, {ourId, 1001}})), 1001);
    EXPECT_EQ(versionIn(versionFile({{otherId, 1}, {otherId, 2}, {ourId, 1000}, {ourId, 7}})), 1000);
}

TEST(VersionRecords, missingKeyOrNoDataGivesNone)
{
    EXPECT_EQ(versionIn(""), 0);
    EXPECT_EQ(versionIn(versionFile({{otherId, 1000}, {otherId, 1001}})), 0);
    // Our id spread over two records' boundary is not a record of ours.
    std::string shifted = versionFile({{otherId, ourId}, {0, 0}});
    EXPECT_EQ(versionIn(shifted.substr(4)), 0);
}

TEST(VersionRecords, trailingPartialRecordEndsTheSearch)
{
    // 12 bytes: another plug-in's record, then 4 bytes that happen to be our id.
    std::string twelve = versionFile({{otherId, 1000}});
    testing::appendLittleEndian(twelve, ourId);
    ASSERT_EQ(twelve.size(), 12u);
    EXPECT_EQ(versionIn(twelve), 0);
    // Seven bytes of an otherwise valid record of ours.
    EXPECT_EQ(versionIn(versionFile({{ourId, 1001}}).substr(0, 7)), 0);
}

TEST(VersionRecords, readsStopOnceTheKeyIsFound)
{
    const std::string file = versionFile({{otherId, 5}, {ourId, 1001}, {otherId, 6}});
    std::size_t position = 0;
    int reads = 0;
    const auto version = VersionRecords::find(
        [&](unsigned char* into, std::size_t wanted) -> long {
            ++reads;
            EXPECT_EQ(wanted, VersionRecords::recordSize);
            const std::size_t count = std::min(wanted, file.size() - position);
            std::copy_n(file.data() + position, count, into);
            position += count;
            return static_cast<long>(count);
        },
        ourId);
    EXPECT_EQ(version, 1001);
    EXPECT_EQ(reads, 2);
}

TEST(VersionRecords, failedReadGivesNone)
{
    int reads = 0;
    const auto version = VersionRecords::find(
        [&](unsigned char* into, std::size_t) -> long {
            if (++reads == 2) return -1;
            const std::string record = versionFile({{otherId, 3}});
            std::copy_n(record.data(), 8, into);
            return 8;
        },
        ourId);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(reads, 2);
}

}  // namespace
}  // namespace valvora
