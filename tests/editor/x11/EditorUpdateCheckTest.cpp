// The version check through the Linux editor's update button, through the
// module's entry point: every kind of version file and server failure ends
// in the matching desktop message (a stand-in dialog tool on PATH logs what
// it was asked to show), Yes opens the download page, a second press while a
// check runs does nothing, and closing the plug-in while a silent server
// keeps the check waiting returns at once and leaves no thread behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Threading.h"
#include "tests/editor/x11/X11TestHost.h"
#include "tests/support/PluginHost.h"
#include "tests/update/LoopbackHttpServer.h"
#include "tests/update/VersionFileBytes.h"

namespace {

using valvora::test::PluginHost;
using valvora::test::X11TestHost;
using valvora::testing::LoopbackHttpServer;
using valvora::testing::versionFile;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kUpdateX = 359, kUpdateY = 16;
constexpr const char* kWarning = "Couldn't retreive update information at this moment";

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class EditorUpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/valvora-editor-update-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir = pattern;
        // zenity logs its arguments and answers with the code in "answer";
        // xdg-open logs the page it was given.
        script("zenity", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + dir + "/zenity.tmp'\n"
                         "mv '" + dir + "/zenity.tmp' '" + dir + "/zenity.log'\n"
                         "exit $(cat '" + dir + "/answer')\n");
        script("xdg-open", "printf '%s\\n' \"$1\" >> '" + dir + "/opened.log'\n");
        answer(1);
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);

        ASSERT_NE(x.display(), nullptr);
        ASSERT_TRUE(host.loaded()) << host.loadError();
        ASSERT_NE(host.open(), nullptr);
        parent = x.createTopLevel();
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
        x.sync();
        editor = x.editorIn(parent);
        ASSERT_NE(editor, 0u);
        idle();
    }
    void TearDown() override
    {
        host.close();
        x.destroy(parent);
        unsetenv("VALVORA_UPDATE_SERVER");
        setenv("PATH", oldPath.c_str(), 1);
        for (const char* name : {"zenity", "xdg-open", "zenity.log", "opened.log", "answer"})
            unlink((dir + "/" + name).c_str());
        rmdir(dir.c_str());
        EXPECT_EQ(X11TestHost::takeErrorCount(), 0);
    }
    void script(const std::string& name, const std::string& body)
    {
        const std::string file = dir + "/" + name;
        std::ofstream(file) << "#!/bin/sh\n" << body;
        chmod(file.c_str(), 0755);
    }
    void answer(int code) { std::ofstream(dir + "/answer") << code << "\n"; }
    void idle()
    {
        x.sync();
        host.dispatch(effEditIdle);
        x.sync();
    }
    void pressUpdate(const std::string& server)
    {
        setenv("VALVORA_UPDATE_SERVER", server.c_str(), 1);
        x.click(editor, kUpdateX, kUpdateY);
        idle();
    }
    // A whole check from a press: a press while the last check is still
    // winding down is ignored, so the button is pressed until one runs.
    std::string checkAgainst(const std::string& server)
    {
        unlink((dir + "/zenity.log").c_str());
        for (int attempt = 0; attempt < 10; ++attempt) {
            pressUpdate(server);
            const std::string text = shown(3s);
            if (!text.empty()) return text;
        }
        return {};
    }
    // What the dialog tool was asked to show, once it was (empty on time-out).
    std::string shown(std::chrono::seconds limit = 30s)
    {
        const auto end = Clock::now() + limit;
        while (access((dir + "/zenity.log").c_str(), F_OK) != 0) {
            if (Clock::now() > end) return {};
            std::this_thread::sleep_for(10ms);
            idle();
        }
        return readFile(dir + "/zenity.log");
    }
    static std::string message(const char* kind, const std::string& text)
    {
        return std::string(kind) + "\n--no-markup\n--title=Kelmo Valvora QX70\n--text=" + text + "\n";
    }

    std::string dir, oldPath;
    X11TestHost x;
    PluginHost host{VALVORA_MODULE_PATH};
    Window parent = 0, editor = 0;
};

}  // namespace

TEST_F(EditorUpdateCheck, theLatestVersionIsReportedAsSuch)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{valvora::testing::ourId, 1000}}));
    pressUpdate(server.address());
    EXPECT_EQ(shown(), message("--info", "You are already using the latest version"));
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(EditorUpdateCheck, aNewerVersionAsksAndYesOpensTheDownloadPage)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200,
                              versionFile({{valvora::testing::otherId, 1000}, {valvora::testing::ourId, 1001}}));
    answer(0);
    pressUpdate(server.address());
    EXPECT_EQ(shown(), message("--question", "New version is available. Proceed to download page?"));
    const std::string opened = dir + "/opened.log";
    for (int i = 0; i < 300 && access(opened.c_str(), F_OK) != 0; ++i) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(readFile(opened), "http://" + server.address() + "/?q=audio-fx\n");
}

TEST_F(EditorUpdateCheck, badFilesAndFailingServersEndInTheWarning)
{
    std::string twelve = versionFile({{valvora::testing::otherId, 1000}});
    valvora::testing::appendLittleEndian(twelve, valvora::testing::ourId);
    {
        LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, twelve);
        EXPECT_EQ(checkAgainst(server.address()), message("--warning", kWarning)) << "twelve bytes";
    }
    {
        LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 404,
                                  versionFile({{valvora::testing::ourId, 1000}}));
        EXPECT_EQ(checkAgainst(server.address()), message("--warning", kWarning)) << "HTTP 404";
    }
    std::string refused;
    {
        LoopbackHttpServer closed(LoopbackHttpServer::Mode::Respond);
        refused = closed.address();
    }  // nothing listens there any more
    EXPECT_EQ(checkAgainst(refused), message("--warning", kWarning)) << "refused";
}

TEST_F(EditorUpdateCheck, aSilentServerEndsInTheWarningAfterTheTimeOut)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Silent);
    const auto start = Clock::now();
    pressUpdate(server.address());
    EXPECT_EQ(shown(40s), message("--warning", kWarning));
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("silent server: warning after %.2f s\n", waited);
    EXPECT_GE(waited, 9.0);  // the check waited for the server, not less
}

TEST_F(EditorUpdateCheck, aSecondPressWhileACheckRunsDoesNothing)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Silent);
    pressUpdate(server.address());
    for (int i = 0; i < 200 && server.connections() == 0; ++i) std::this_thread::sleep_for(10ms);
    x.click(editor, kUpdateX, kUpdateY);
    idle();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(EditorUpdateCheck, closingThePluginDuringASilentWaitReturnsAtOnceAndLeavesNoThread)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Silent);
    host.close();
    x.sync();
    const int before = valvora::platform::processThreadCount();
    ASSERT_NE(host.open(), nullptr);
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    x.sync();
    editor = x.editorIn(parent);
    idle();
    pressUpdate(server.address());
    for (int i = 0; i < 200 && server.connections() == 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(server.connections(), 1);

    host.dispatch(effEditClose);  // the check goes on without a window
    const auto start = Clock::now();
    host.close();
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("effClose during a silent wait returned after %.1f ms\n", took * 1000);
    EXPECT_LT(took, 2.0);  // not the ten seconds of the network time-out
    int after = valvora::platform::processThreadCount();
    for (int i = 0; i < 100 && after > before; ++i) {  // a joined thread lingers in the list for a moment
        std::this_thread::sleep_for(20ms);
        after = valvora::platform::processThreadCount();
    }
    EXPECT_EQ(after, before) << "threads before the plug-in and after it";
    EXPECT_NE(access((dir + "/zenity.log").c_str(), F_OK), 0);  // and no message came after all
}
