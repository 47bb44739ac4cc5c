#include "editor/update/VersionFetcher.h"

#include <iterator>

namespace valvora {

void TransferAbort::abort() noexcept
{
    aborted_.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> hold(mutex_);
    if (closedByAbort_) return;
    // The innermost handle is the one the check thread is blocked in.
    for (int i = attached_ - 1; i >= 0; --i) closeHandle(handles_[i]);
    closedByAbort_ = attached_ > 0;
}

bool TransferAbort::attach(void* handle) noexcept
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (aborted() || attached_ == static_cast<int>(std::size(handles_))) return false;
    handles_[attached_++] = handle;
    return true;
}

bool TransferAbort::detach() noexcept
{
    std::lock_guard<std::mutex> hold(mutex_);
    const bool stillOurs = !closedByAbort_;
    attached_ = 0;
    closedByAbort_ = false;
    return stillOurs;
}

}  // namespace valvora
