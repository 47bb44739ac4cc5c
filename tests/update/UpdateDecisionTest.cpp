#include <gtest/gtest.h>

#include <string>

#include "editor/update/UpdateMessage.h"
#include "editor/update/UpdateServer.h"

namespace valvora {
namespace {

TEST(UpdateDecision, noVersionWarnsWithOkOnly)
{
    const UpdateMessage message = UpdateMessage::forVersion(0);
    EXPECT_STREQ(message.text, "Couldn't retreive update information at this moment");
    EXPECT_EQ(message.style, MessageStyle::Warning);
    EXPECT_EQ(static_cast<unsigned>(message.style), 0x30u);
}

TEST(UpdateDecision, ownVersionIsTheLatest)
{
    const UpdateMessage message = UpdateMessage::forVersion(1000);
    EXPECT_STREQ(message.text, "You are already using the latest version");
    EXPECT_EQ(static_cast<unsigned>(message.style), 0x40u);
}

TEST(UpdateDecision, anyOtherVersionAsksToDownload)
{
    for (std::int32_t version : {1001, 999, -1, 1, 0x7FFFFFFF}) {
        const UpdateMessage message = UpdateMessage::forVersion(version);
        EXPECT_STREQ(message.text, "New version is available. Proceed to download page?") << version;
        EXPECT_EQ(static_cast<unsigned>(message.style), 0x24u) << version;
    }
}

TEST(UpdateDecision, onlyYesToTheQuestionOpensThePage)
{
    const UpdateMessage question = UpdateMessage::forVersion(1001);
    EXPECT_TRUE(question.opensDownloadPage(MessageAnswer::Yes));
    EXPECT_FALSE(question.opensDownloadPage(MessageAnswer::No));
    EXPECT_FALSE(UpdateMessage::forVersion(0).opensDownloadPage(MessageAnswer::Yes));
    EXPECT_FALSE(UpdateMessage::forVersion(1000).opensDownloadPage(MessageAnswer::Yes));
}

TEST(UpdateServer, vendorServerOverPlainHttp)
{
    const UpdateServer server;
    EXPECT_EQ(server.url(UpdateServer::versionPath), "http://www.kelmo.example/versions.dat");
    EXPECT_EQ(server.url(UpdateServer::downloadPath), "http://www.kelmo.example/?q=audio-fx");
}

TEST(UpdateServer, testVariableAcceptsLoopbackOnly)
{
    const auto local = UpdateServer::loopback("127.0.0.1:8080");
    ASSERT_TRUE(local);
    EXPECT_EQ(local->url(UpdateServer::versionPath), "http://127.0.0.1:8080/versions.dat");
    EXPECT_TRUE(UpdateServer::loopback("localhost:1"));
    for (const char* refused : {"www.kelmo.example:80", "10.0.0.1:80", "127.0.0.1", "127.0.0.1:", "127.0.0.1:0",
                                "127.0.0.1:65536", "127.0.0.1:80x", "127.0.0.1:-5", "127.0.0.1.evil.example:80", ""})
        EXPECT_FALSE(UpdateServer::loopback(refused)) << refused;
}

}  // namespace
}  // namespace valvora
