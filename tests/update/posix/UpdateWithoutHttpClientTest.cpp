// A system without libcurl: the module still loads (it links no HTTP
// library), and a check tells the user it could not find out, without
// touching the network.
#include <gtest/gtest.h>

#include "editor/update/VersionFetcher.h"
#include "tests/update/LoopbackHttpServer.h"
#include "tests/update/UpdateCheckFixture.h"
#include "tests/update/VersionFileBytes.h"

namespace valvora {
namespace {

TEST(UpdateWithoutHttpClient, theCheckShowsTheWarningAndSendsNothing)
{
    static const char* const missing[] = {"libvalvora-no-such-http-client.so.0", nullptr};
    VersionFetcher::setClientLibrariesForTest(missing);
    testing::LoopbackHttpServer server(testing::LoopbackHttpServer::Mode::Respond, 200,
                                       testing::versionFile({{testing::ourId, 1000}}));
    testing::pointChecksAt(server.address());
    testing::UserStandIn user;
    UpdateChecker checker;
    user.attach(checker);
    checker.startCheck(testing::fakeOwner);
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    const auto shown = user.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Couldn't retreive update information at this moment");
#ifndef _WIN32
    EXPECT_EQ(server.connections(), 0);
#endif
}

}  // namespace
}  // namespace valvora
