// The slow cases: a server that accepts the connection and never answers.
#include <gtest/gtest.h>

#include "editor/update/VersionFetcher.h"
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
    // The host is not kept waiting for the network.
    EXPECT_LT(seconds, 2.0);
    // The check was called off: it never tells the (gone) editor's user
    // anything, and its connection ends. Linux aborts the transfer at once;
    // on Windows closing the client's handles does so, but wine's client
    // goes on waiting for its time-out, in a thread that keeps the module
    // loaded until it has left it.
#ifdef _WIN32
    EXPECT_TRUE(server.waitForClientsGone(std::chrono::seconds(VersionFetcher::timeoutMs / 1000 + 5)));
#else
    EXPECT_TRUE(server.waitForClientsGone(1s));
#endif
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(user.shown().empty());
    EXPECT_TRUE(user.opened().empty());
}

}  // namespace
}  // namespace valvora
