// The slow cases: a server that accepts the connection and never answers.
#include <gtest/gtest.h>

#include "tests/update/LoopbackHttpServer.h"
#include "tests/update/UpdateCheckFixture.h"

namespace valvora {
namespace {
using namespace std::chrono_literals;
using testing::LoopbackHttpServer;
using testing::UserStandIn;

TEST(UpdateTimeout, silentServerEndsInTheWarning)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Silent);
    testing::pointChecksAt(server.address());
    UserStandIn user;
    UpdateChecker checker;
    user.attach(checker);
    const auto start = std::chrono::steady_clock::now();
    checker.startCheck(testing::fakeOwner);
    ASSERT_TRUE(user.waitForMessages(1, 120s));
    const double seconds = testing::secondsSince(start);
    RecordProperty("silentServerSeconds", std::to_string(seconds));
    std::printf("silent server: warning after %.2f s\n", seconds);
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    ASSERT_EQ(user.shown().size(), 1u);
    EXPECT_EQ(user.shown()[0].text, "Couldn't retreive update information at this moment");
    EXPECT_EQ(server.connections(), 1);
}

TEST(UpdateTimeout, destroyingWhileWaitingOnSilentServerCallsTheCheckOff)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Silent);
    testing::pointChecksAt(server.address());
    UserStandIn user;
    auto checker = std::make_unique<UpdateChecker>();
    user.attach(*checker);
    checker->startCheck(testing::fakeOwner);
    ASSERT_TRUE(server.waitForConnections(1, 60s));
    std::this_thread::sleep_for(200ms);  // the request is out and waiting for the answer
    const auto start = std::chrono::steady_clock::now();
    checker.reset();
    const double seconds = testing::secondsSince(start);
    RecordProperty("destroySeconds", std::to_string(seconds));
    std::printf("destroyed during a silent wait: returned after %.2f s\n", seconds);
    // The check was joined, not left running: its connection is closed
    // already and it never told the (gone) editor's user anything.
    EXPECT_TRUE(server.waitForClientsGone(5s));
    EXPECT_TRUE(user.shown().empty());
    EXPECT_TRUE(user.opened().empty());
}

}  // namespace
}  // namespace valvora
