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
    SystemDialog dialog;
};

namespace {
// How long the destructor waits for a check before leaving it to finish on
// its own: past the network time-out plus the little work after it.
constexpr unsigned abandonAfterMs = VersionFetcher::timeoutMs + 2000;
constexpr unsigned pollMs = 50;

void runCheck(UpdateRun& run)
{
    const std::int32_t version =
        VersionFetcher::fetchVersion(run.server, UpdateMessage::agent, UpdateMessage::productKey, run.cancelled);
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

UpdateChecker::~UpdateChecker() { stopRunningCheck(); }

bool UpdateChecker::checking() const noexcept { return thread_->running(); }

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
        if (!thread_->start(checkThread, ticket.get())) return;
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
    for (unsigned waited = 0; waited < abandonAfterMs; waited += pollMs) {
        run_->dialog.dismiss();
        if (thread_->joinFor(pollMs)) return;
    }
    // Stuck past every time-out: rather than freeze the host, let the thread
    // finish with its own share of the run, and never join it.
    (void)thread_.release();
}

}  // namespace valvora
