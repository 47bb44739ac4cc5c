#include "editor/update/SystemDialog.h"

#include <windows.h>
#include <shellapi.h>

namespace valvora {
static_assert(static_cast<UINT>(MessageStyle::Warning) == (MB_ICONWARNING | MB_OK));
static_assert(static_cast<UINT>(MessageStyle::Information) == (MB_ICONINFORMATION | MB_OK));
static_assert(static_cast<UINT>(MessageStyle::Question) == (MB_ICONQUESTION | MB_YESNO));

namespace {
BOOL CALLBACK answerBox(HWND window, LPARAM button)
{
    char name[16] = {};
    if (GetClassNameA(window, name, sizeof name) > 0 && lstrcmpA(name, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return TRUE;
}
}  // namespace

MessageAnswer SystemDialog::show(void* ownerWindow, const std::string& text, const std::string& caption,
                                 MessageStyle style)
{
    const MessageAnswer declined = style == MessageStyle::Question ? MessageAnswer::No : MessageAnswer::Ok;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (dismissed_) return declined;
        shower_ = GetCurrentThreadId();
        style_ = style;
    }
    const int answer = MessageBoxA(static_cast<HWND>(ownerWindow), text.c_str(), caption.c_str(),
                                   static_cast<UINT>(style));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shower_ = 0;
    }
    if (style == MessageStyle::Question) return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

void SystemDialog::dismiss() noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    dismissed_ = true;
    // A message box is a dialog of the thread that shows it; pressing the
    // button that declines ends it as if the user had.
    if (shower_ != 0) {
        const LPARAM button = style_ == MessageStyle::Question ? IDNO : IDOK;
        EnumThreadWindows(static_cast<DWORD>(shower_), answerBox, button);
    }
}

void SystemDialog::openUrl(const std::string& url)
{
    ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace valvora
