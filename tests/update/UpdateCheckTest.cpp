#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "tests/update/LoopbackHttpServer.h"
#include "tests/update/UpdateCheckFixture.h"
#include "tests/update/VersionFileBytes.h"

namespace valvora {
namespace {
using namespace std::chrono_literals;
using testing::LoopbackHttpServer;
using testing::UserStandIn;
using testing::versionFile;

constexpr const char* warning = "Couldn't retreive update information at this moment";
constexpr const char* latest = "You are already using the latest version";
constexpr const char* question = "New version is available. Proceed to download page?";

struct FileCase {
    const char* name;
    std::string body;
    const char* text;
    MessageStyle style;
};

std::string twelveBytes()
{
    std::string file = versionFile({{testing::otherId, 1000}});
    testing::appendLittleEndian(file, testing::ourId);
    return file;
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// One full check against a server that answers with `status` and `body`.
std::vector<testing::ShownMessage> checkAgainst(LoopbackHttpServer& server, UserStandIn& user)
{
    testing::pointChecksAt(server.address());
    UpdateChecker checker;
    user.attach(checker);
    checker.startCheck(testing::fakeOwner);
    EXPECT_TRUE(testing::waitUntilIdle(checker));
    return user.shown();
}

class EachVersionFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(EachVersionFile, showsTheMatchingMessageOnce)
{
    const FileCase& c = GetParam();
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, c.body);
    ASSERT_TRUE(server.listening());
    UserStandIn user;
    const auto shown = checkAgainst(server, user);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, c.text);
    EXPECT_EQ(shown[0].caption, "Kelmo Valvora QX70");
    EXPECT_EQ(shown[0].style, c.style);
    EXPECT_EQ(shown[0].owner, testing::fakeOwner);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(user.opened().empty());  // the stand-in says No to the question
}

INSTANTIATE_TEST_SUITE_P(
    UpdateCheck, EachVersionFile,
    ::testing::Values(
        FileCase{"latest", versionFile({{testing::ourId, 1000}}), latest, MessageStyle::Information},
        FileCase{"newer", versionFile({{testing::ourId, 1001}}), question, MessageStyle::Question},
        FileCase{"older", versionFile({{testing::ourId, 999}}), question, MessageStyle::Question},
        FileCase{"afterAnotherPlugin", versionFile({{testing::otherId, 1000}, {testing::ourId, 1001}}), question,
                 MessageStyle::Question},
        FileCase{"twelveBytes", twelveBytes(), warning, MessageStyle::Warning},
        FileCase{"empty", "", warning, MessageStyle::Warning},
        FileCase{"keyNeverComes", versionFile({{testing::otherId, 1000}, {testing::otherId, 999}}), warning,
                 MessageStyle::Warning},
        FileCase{"versionZero", versionFile({{testing::ourId, 0}}), warning, MessageStyle::Warning}),
    [](const ::testing::TestParamInfo<FileCase>& param) { return std::string(param.param.name); });

TEST(UpdateCheck, asksForTheVersionFileAsTheProductWithoutCaching)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1000}}));
    UserStandIn user;
    checkAgainst(server, user);
    const std::string request = server.lastRequest();
    EXPECT_EQ(request.rfind("GET /versions.dat HTTP/1.", 0), 0u) << request;
    EXPECT_NE(request.find("User-Agent: Kelmo Valvora QX70\r\n"), std::string::npos) << request;
    EXPECT_NE(lowered(request).find("no-cache"), std::string::npos) << request;
    EXPECT_EQ(lowered(request).find("cookie"), std::string::npos) << request;
}

TEST(UpdateCheck, yesToTheQuestionOpensTheDownloadPageOfTheSameServer)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1001}}));
    UserStandIn user;
    user.reply = MessageAnswer::Yes;
    checkAgainst(server, user);
    ASSERT_EQ(user.opened().size(), 1u);
    EXPECT_EQ(user.opened()[0], "http://" + server.address() + "/?q=audio-fx");
}

TEST(UpdateCheck, httpErrorIsAFailureNotAVersionFile)
{
    // The error pages carry a valid record: only the status may decide.
    for (int status : {404, 500}) {
        LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, status, versionFile({{testing::ourId, 1000}}));
        UserStandIn user;
        const auto shown = checkAgainst(server, user);
        ASSERT_EQ(shown.size(), 1u) << status;
        EXPECT_EQ(shown[0].text, warning) << status;
        EXPECT_EQ(shown[0].style, MessageStyle::Warning) << status;
    }
}

TEST(UpdateCheck, refusedConnectionWarns)
{
    testing::pointChecksAt(LoopbackHttpServer::refusingAddress());
    UserStandIn user;
    UpdateChecker checker;
    user.attach(checker);
    const auto start = std::chrono::steady_clock::now();
    checker.startCheck(testing::fakeOwner);
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    RecordProperty("refusedSeconds", std::to_string(testing::secondsSince(start)));
    std::printf("refused connection: warning after %.3f s\n", testing::secondsSince(start));
    ASSERT_EQ(user.shown().size(), 1u);
    EXPECT_EQ(user.shown()[0].text, warning);
}

TEST(UpdateCheck, pressDuringACheckIsIgnoredAndTheNextOneRuns)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1000}}));
    testing::pointChecksAt(server.address());
    UserStandIn user;
    user.hold();  // the first message stays open, so the first check is still running
    UpdateChecker checker;
    user.attach(checker);
    checker.startCheck(testing::fakeOwner);
    checker.startCheck(testing::fakeOwner);
    ASSERT_TRUE(user.waitForMessages(1, 60s));
    EXPECT_TRUE(checker.checking());
    checker.startCheck(testing::fakeOwner);
    user.release();
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(user.shown().size(), 1u);

    checker.startCheck(testing::fakeOwner);
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(user.shown().size(), 2u);
}

TEST(UpdateCheck, destroyedRightAfterStartingLeavesNothingBehind)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1001}}));
    testing::pointChecksAt(server.address());
    UserStandIn user;
    user.reply = MessageAnswer::Yes;
    for (int round = 0; round < 20; ++round) {
        UpdateChecker checker;
        user.attach(checker);
        checker.startCheck(testing::fakeOwner);
    }
    // Each destructor either waited for its check or stopped it: whatever got
    // shown, no browser was opened for a check that had been called off late.
    EXPECT_LE(user.shown().size(), 20u);
    EXPECT_LE(user.opened().size(), user.shown().size());
    EXPECT_TRUE(server.waitForClientsGone(30s));
}

}  // namespace
}  // namespace valvora
