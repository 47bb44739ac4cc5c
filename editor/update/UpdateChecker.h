#pragma once
// The editor's update-check record: asks Kelmo's web server which version of
// this plug-in is current and tells the user, on a thread of its own so the
// host's window thread never waits for the network or for the user.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editor/update/UpdateMessage.h"

namespace valvora {

namespace platform {
class Thread;
}

struct UpdateRun;

class UpdateChecker {
public:
    // The seams through which the outcome reaches the user. Called on the
    // check thread. Left empty, the system's message box and browser are used
    // (MessageBoxA / ShellExecuteA on Windows; a desktop dialog tool or
    // standard error, and xdg-open, on Linux).
    using ShowMessage = std::function<MessageAnswer(void* ownerWindow, const std::string& text,
                                                    const std::string& caption, MessageStyle style)>;
    using OpenUrl = std::function<void(const std::string& url)>;

    // Window thread (any host thread); allocates.
    UpdateChecker();
    // Window thread. Safe while a check runs: it stops the network request or
    // dismisses the message box the check shows, and waits for the thread no
    // longer than the network time-out.
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // Window thread, on the update button. Does nothing while the previous
    // check still runs. ownerWindow is the HWND owning the message boxes on
    // Windows and unused elsewhere; it is copied, never dereferenced here.
    void startCheck(void* ownerWindow) noexcept;

    // Window thread. True while a check thread has not ended.
    bool checking() const noexcept;

    // Window thread, before startCheck: a check copies them when it starts.
    void setShowMessage(ShowMessage show) { show_ = std::move(show); }
    void setOpenUrl(OpenUrl open) { open_ = std::move(open); }

private:
    void stopRunningCheck() noexcept;

    ShowMessage show_;
    OpenUrl open_;
    std::shared_ptr<UpdateRun> run_;
    std::unique_ptr<platform::Thread> thread_;
};

}  // namespace valvora
