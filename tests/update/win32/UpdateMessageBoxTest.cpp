// The Windows build's own user interface under wine: the real MessageBoxA,
// answered from a watcher thread as a user would, and the real ShellExecuteA,
// whose URL wine hands to the browser the test names in wine's registry.
// Winsock before windows.h, as Winsock requires.
#include "tests/update/LoopbackHttpServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/update/UpdateCheckFixture.h"
#include "tests/update/VersionFileBytes.h"

namespace valvora {
namespace {
using namespace std::chrono_literals;
using testing::LoopbackHttpServer;
using testing::versionFile;

constexpr const char* caption = "Kelmo Valvora QX70";

// Runs the test thread's message loop while waiting, as a host's window
// thread would: a message box owned by one of its windows needs it.
bool pumpUntil(const std::function<bool()>& done, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(5);
    }
    return true;
}

HWND waitForBox(std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (HWND box = FindWindowA("#32770", caption)) return box;
        if (std::chrono::steady_clock::now() > deadline) return nullptr;
        Sleep(20);
    }
}

bool hasButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

std::string boxText(HWND box)
{
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM raw) -> BOOL {
            char name[16] = {};
            char buffer[256] = {};
            GetClassNameA(child, name, sizeof name);
            if (lstrcmpiA(name, "Static") == 0 && GetWindowTextA(child, buffer, sizeof buffer) > 0)
                *reinterpret_cast<std::string*>(raw) = buffer;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

struct SeenBox {
    bool found = false;
    HWND owner = nullptr;
    std::string text;
    bool ok = false, yes = false, no = false;
};

// The user: waits for the box, notes what it shows, presses `button`.
std::thread answerBox(SeenBox& seen, int button)
{
    return std::thread([&seen, button] {
        HWND box = waitForBox(60s);
        if (!box) return;
        seen.owner = GetWindow(box, GW_OWNER);
        seen.text = boxText(box);
        seen.ok = hasButton(box, IDOK);
        seen.yes = hasButton(box, IDYES);
        seen.no = hasButton(box, IDNO);
        seen.found = true;
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    });
}

HWND createOwnerWindow()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ValvoraUpdateTestOwner";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "ValvoraUpdateTestOwner", "editor stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

TEST(UpdateMessageBox, realBoxIsOwnedByTheEditorWindowAndEndsWithOk)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1000}}));
    testing::pointChecksAt(server.address());
    HWND owner = createOwnerWindow();
    ASSERT_TRUE(owner);
    SeenBox seen;
    std::thread user = answerBox(seen, IDOK);
    {
        UpdateChecker checker;
        checker.startCheck(owner);
        EXPECT_TRUE(pumpUntil([&] { return !checker.checking(); }, 90s));
    }
    user.join();
    DestroyWindow(owner);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.owner, owner);
    EXPECT_EQ(seen.text, "You are already using the latest version");
    EXPECT_TRUE(seen.ok);
    EXPECT_FALSE(seen.yes);
    EXPECT_FALSE(seen.no);
}

// Points wine's browser launcher at a script that logs the URL it is given;
// puts the previous setting back afterwards.
class BrowserLog {
public:
    BrowserLog()
    {
        std::remove(logPath().c_str());
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
        char previous[1024] = {};
        DWORD size = sizeof previous;
        hadPrevious_ = RegQueryValueExA(key_, "Browsers", nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                                        &size) == ERROR_SUCCESS;
        previous_ = previous;
        const std::string script = VALVORA_BROWSER_SCRIPT;
        RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(script.c_str()),
                       static_cast<DWORD>(script.size() + 1));
    }
    ~BrowserLog()
    {
        if (hadPrevious_)
            RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                           static_cast<DWORD>(previous_.size() + 1));
        else
            RegDeleteValueA(key_, "Browsers");
        RegCloseKey(key_);
    }
    // The log as this Windows process sees the Unix file.
    static std::string logPath()
    {
        std::string path = "Z:" VALVORA_BROWSER_LOG;
        for (char& c : path)
            if (c == '/') c = '\\';
        return path;
    }
    std::string opened() const
    {
        std::ifstream in(logPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    HKEY key_ = nullptr;
    bool hadPrevious_ = false;
    std::string previous_;
};

TEST(UpdateMessageBox, yesToTheRealQuestionOpensTheDownloadPageInTheBrowser)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1001}}));
    testing::pointChecksAt(server.address());
    BrowserLog browser;
    SeenBox seen;
    std::thread user = answerBox(seen, IDYES);
    UpdateChecker checker;
    checker.startCheck(nullptr);
    EXPECT_TRUE(pumpUntil([&] { return !checker.checking(); }, 90s));
    user.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "New version is available. Proceed to download page?");
    EXPECT_TRUE(seen.yes);
    EXPECT_TRUE(seen.no);
    EXPECT_FALSE(seen.ok);
    const std::string expected = "http://" + server.address() + "/?q=audio-fx";
    EXPECT_TRUE(pumpUntil([&] { return browser.opened().find(expected) != std::string::npos; }, 60s))
        << "browser log: " << browser.opened();
}

TEST(UpdateMessageBox, destroyingTheCheckerTakesAnOpenBoxDown)
{
    LoopbackHttpServer server(LoopbackHttpServer::Mode::Respond, 200, versionFile({{testing::ourId, 1001}}));
    testing::pointChecksAt(server.address());
    BrowserLog browser;
    auto checker = std::make_unique<UpdateChecker>();
    checker->startCheck(nullptr);
    HWND box = waitForBox(60s);
    ASSERT_TRUE(box);
    checker.reset();
    // The box was answered No on the user's behalf: gone, and no page opened.
    EXPECT_FALSE(IsWindow(box));
    Sleep(500);
    EXPECT_EQ(browser.opened(), "");
}

}  // namespace
}  // namespace valvora
