// The Linux build's own user interface: the desktop dialog tool and xdg-open,
// replaced by stand-in scripts on PATH that log what they were given.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "editor/update/SystemDialog.h"
#include "tests/update/LoopbackHttpServer.h"
#include "tests/update/UpdateCheckFixture.h"
#include "tests/update/VersionFileBytes.h"

namespace valvora {
namespace {
using namespace std::chrono_literals;

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool waitForFile(const std::string& path, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (access(path.c_str(), F_OK) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A scratch directory first on PATH with a fake "zenity" and "xdg-open".
// zenity logs one argument per line, then waits if asked to, and exits with
// the code in the "answer" file; xdg-open logs its argument.
class DialogToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/valvora-update-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir_ = pattern;
        writeScript("zenity", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + dir_ + "/zenity.tmp'\n"
                              "mv '" + dir_ + "/zenity.tmp' '" + dir_ + "/zenity.log'\n"
                              "if [ -e '" + dir_ + "/hold' ]; then exec sleep 60; fi\n"
                              "exit $(cat '" + dir_ + "/answer')\n");
        writeScript("xdg-open", "printf '%s\\n' \"$1\" >> '" + dir_ + "/opened.log'\n");
        setAnswer(1);
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
        const char* display = std::getenv("DISPLAY");
        hadDisplay_ = display != nullptr;
        if (display) oldDisplay_ = display;
        setenv("DISPLAY", ":invalid", 1);
    }

    void TearDown() override
    {
        setenv("PATH", oldPath_.c_str(), 1);
        if (hadDisplay_)
            setenv("DISPLAY", oldDisplay_.c_str(), 1);
        else
            unsetenv("DISPLAY");
        for (const char* name : {"zenity", "xdg-open", "zenity.log", "opened.log", "answer", "hold"})
            unlink((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }

    void writeScript(const std::string& name, const std::string& body)
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        chmod(path.c_str(), 0755);
    }
    void setAnswer(int code) { std::ofstream(dir_ + "/answer") << code << "\n"; }
    void holdDialogs() { std::ofstream(dir_ + "/hold") << "\n"; }
    std::string dialogLog() const { return readFile(dir_ + "/zenity.log"); }
    std::string dialogLogPath() const { return dir_ + "/zenity.log"; }
    std::string openedLog() const { return readFile(dir_ + "/opened.log"); }
    std::string openedLogPath() const { return dir_ + "/opened.log"; }

private:
    std::string dir_;
    std::string oldPath_;
    std::string oldDisplay_;
    bool hadDisplay_ = false;
};

TEST_F(DialogToolTest, questionGoesToTheToolAndItsExitCodeIsTheAnswer)
{
    SystemDialog dialog;
    setAnswer(0);
    EXPECT_EQ(dialog.show(nullptr, "Proceed?", "Kelmo Valvora QX70", MessageStyle::Question), MessageAnswer::Yes);
    EXPECT_EQ(dialogLog(), "--question\n--no-markup\n--title=Kelmo Valvora QX70\n--text=Proceed?\n");
    setAnswer(1);
    EXPECT_EQ(dialog.show(nullptr, "Proceed?", "Kelmo Valvora QX70", MessageStyle::Question), MessageAnswer::No);
}

TEST_F(DialogToolTest, noticesUseTheirOwnKindAndTextIsNeverInterpreted)
{
    SystemDialog dialog;
    const std::string text = "Couldn't $(touch pwned) `x` <b>";
    EXPECT_EQ(dialog.show(nullptr, text, "Kelmo Valvora QX70", MessageStyle::Warning), MessageAnswer::Ok);
    EXPECT_EQ(dialogLog(), "--warning\n--no-markup\n--title=Kelmo Valvora QX70\n--text=" + text + "\n");
    EXPECT_EQ(dialog.show(nullptr, "latest", "c", MessageStyle::Information), MessageAnswer::Ok);
    EXPECT_EQ(dialogLog().substr(0, 7), "--info\n");
}

TEST_F(DialogToolTest, withoutADisplayTheMessageGoesToStandardErrorAndTheQuestionIsDeclined)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    SystemDialog dialog;
    ::testing::internal::CaptureStderr();
    const MessageAnswer answer = dialog.show(nullptr, "New version?", "Kelmo Valvora QX70", MessageStyle::Question);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, MessageAnswer::No);
    EXPECT_EQ(printed, "Kelmo Valvora QX70: New version?\n");
    EXPECT_EQ(access(dialogLogPath().c_str(), F_OK), -1);
}

TEST_F(DialogToolTest, dismissEndsAnOpenDialogAndKeepsLaterOnesClosed)
{
    holdDialogs();
    SystemDialog dialog;
    MessageAnswer answer = MessageAnswer::Yes;
    std::thread check([&] { answer = dialog.show(nullptr, "Proceed?", "c", MessageStyle::Question); });
    ASSERT_TRUE(waitForFile(dialogLogPath(), 30s));
    dialog.dismiss();
    check.join();
    EXPECT_EQ(answer, MessageAnswer::No);
    unlink(dialogLogPath().c_str());
    EXPECT_EQ(dialog.show(nullptr, "again?", "c", MessageStyle::Question), MessageAnswer::No);
    EXPECT_EQ(access(dialogLogPath().c_str(), F_OK), -1);
}

TEST_F(DialogToolTest, pageOpensWithTheUrlAsOneArgument)
{
    const std::string url = "http://127.0.0.1:9/?q=audio-fx;echo pwned \"$HOME\"";
    SystemDialog::openUrl(url);
    ASSERT_TRUE(waitForFile(openedLogPath(), 30s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(openedLog(), url + "\n");
}

TEST_F(DialogToolTest, defaultDialogsCarryAWholeCheck)
{
    testing::LoopbackHttpServer server(testing::LoopbackHttpServer::Mode::Respond, 200,
                                       testing::versionFile({{testing::ourId, 1001}}));
    testing::pointChecksAt(server.address());
    setAnswer(0);
    UpdateChecker checker;
    checker.startCheck(nullptr);
    ASSERT_TRUE(testing::waitUntilIdle(checker));
    EXPECT_EQ(dialogLog(), "--question\n--no-markup\n--title=Kelmo Valvora QX70\n"
                           "--text=New version is available. Proceed to download page?\n");
    ASSERT_TRUE(waitForFile(openedLogPath(), 30s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(openedLog(), "http://" + server.address() + "/?q=audio-fx\n");
}

TEST_F(DialogToolTest, destroyingTheCheckerTakesAnOpenDialogDown)
{
    testing::LoopbackHttpServer server(testing::LoopbackHttpServer::Mode::Respond, 200,
                                       testing::versionFile({{testing::ourId, 1001}}));
    testing::pointChecksAt(server.address());
    holdDialogs();
    setAnswer(0);
    auto checker = std::make_unique<UpdateChecker>();
    checker->startCheck(nullptr);
    ASSERT_TRUE(waitForFile(dialogLogPath(), 30s));
    checker.reset();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(access(openedLogPath().c_str(), F_OK), -1);
}

}  // namespace
}  // namespace valvora
