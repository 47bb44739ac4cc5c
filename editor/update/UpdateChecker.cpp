#include "editor/update/UpdateChecker.h"

#include <atomic>

#include "editor/update/SystemDialog.h"
#include "editor/update/UpdateServer.h"
#include "editor/update/VersionFetcher.h"
#include "platform/Threading.h"

namespace valvora {

// Everything one check needs, copied when it starts, so the check thread
// never reaches back into the editor that started it.
struct UpdateRun {
    void* ownerWindow = nullptr;
    UpdateServer server;
    UpdateChecker::ShowMessage show;
    UpdateChecker::OpenUrl open;
    std::atomic<bool> cancelled{false};
    // True while the check waits for the server (not for the user).
    std::atomic<bool> fetching{false};
    TransferAbort transfer;
    SystemDialog dialog;
};

namespace {
// How long the destructor waits for a check before leaving it to finish on
// its own: a check thread that keeps the module loaded may be left after a
// moment (the host must not wait for it); one that does not, only when it is
// stuck past every time-out.
constexpr unsigned leaveKeptAfterMs = 100;
constexpr unsigned abandonAfterMs = VersionFetcher::timeoutMs + 2000;
constexpr unsigned pollMs = 10;

void runCheck(UpdateRun& run)
{
    run.fetching.store(true, std::memory_order_release);
    const std::int32_t version = VersionFetcher::fetchVersion(run.server, UpdateMessage::agent,
                                                              UpdateMessage::productKey, run.transfer);
    run.fetching.store(false, std::memory_order_release);
    if (run.cancelled.load(std::memory_order_acquire)) return;
    const UpdateMessage message = UpdateMessage::forVersion(version);
    const std::string text = message.text;
    const std::string caption = UpdateMessage::caption;
    const MessageAnswer answer = run.show ? run.show(run.ownerWindow, text, caption, message.style)
                                          : run.dialog.show(run.ownerWindow, text, caption, message.style);
    if (run.cancelled.load(std::memory_order_acquire) || !message.opensDownloadPage(answer)) return;
    const std::string page = run.server.url(UpdateServer::downloadPath);
    if (run.open)
        run.open(page);
    else
        SystemDialog::openUrl(page);
}

void checkThread(void* raw) noexcept
{
    // The thread owns a share of its run, so the run outlives an editor that
    // stopped waiting for it.
    auto* ticket = static_cast<std::shared_ptr<UpdateRun>*>(raw);
    try {
        runCheck(**ticket);
    } catch (...) {
        // Out of memory or a failing callback: the check just ends.
    }
    delete ticket;
}
}  // namespace

UpdateChecker::UpdateChecker() : thread_(std::make_unique<platform::Thread>()) {}

UpdateChecker::~UpdateChecker()
{
    stopRunningCheck();
}

bool UpdateChecker::checking() const noexcept
{
    return thread_->running();
}

void UpdateChecker::startCheck(void* ownerWindow) noexcept
{
    if (thread_->running()) return;
    thread_->join();  // the last check has ended: only its handle remains
    try {
        auto run = std::make_shared<UpdateRun>();
        run->ownerWindow = ownerWindow;
        run->server = UpdateServer::current();
        run->show = show_;
        run->open = open_;
        auto ticket = std::make_unique<std::shared_ptr<UpdateRun>>(run);
        if (!thread_->startKeepingModule(checkThread, ticket.get())) return;
        ticket.release();
        run_ = std::move(run);
    } catch (...) {
        // No memory for a check: the button simply does nothing this time.
    }
}

void UpdateChecker::stopRunningCheck() noexcept
{
    if (!run_) return;
    run_->cancelled.store(true, std::memory_order_release);
    run_->transfer.abort();
    // A message box goes down at once when dismissed; a network client that
    // cannot be interrupted (wine's WinINet keeps waiting when its handles
    // are closed) is left to its time-out, but only by a thread that keeps
    // the module loaded. Leaving a thread that runs our code while the
    // module may be unloaded is no way out.
    for (unsigned waited = 0; waited < abandonAfterMs; waited += pollMs) {
        run_->dialog.dismiss();
        if (thread_->joinFor(pollMs)) return;
        if (waited >= leaveKeptAfterMs && thread_->keepsModuleLoaded() &&
            run_->fetching.load(std::memory_order_acquire))
            break;
    }
    // Stuck past every time-out: rather than freeze the host, let the thread
    // finish with its own share of the run, and never join it.
    (void)thread_.release();
}

}  // namespace valvora
