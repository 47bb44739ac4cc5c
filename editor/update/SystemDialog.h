#pragma once
// The system's own way to ask the user and to open a web page, for the check
// thread; and the means for the window thread to take the question down again
// when the editor goes away while it is still open.

#include <mutex>
#include <string>

#include "editor/update/UpdateMessage.h"

namespace valvora {

class SystemDialog {
public:
    // Check thread. Blocks until the user answers or dismiss() is called;
    // after dismiss() it shows nothing and answers No (Ok for notices).
    MessageAnswer show(void* ownerWindow, const std::string& text, const std::string& caption,
                       MessageStyle style);
    // Window thread. Closes the dialog show() has open, and keeps any later one
    // from opening. Repeat it while waiting: a dialog may be just appearing.
    void dismiss() noexcept;

    // Check thread. Hands the page to the default browser and returns without
    // waiting for it; the outcome is not examined.
    static void openUrl(const std::string& url);

private:
    std::mutex mutex_;
    bool dismissed_ = false;
    // The thread that shows a message box (Windows) or the dialog tool's
    // process (elsewhere), 0 while nothing is shown.
    unsigned long shower_ = 0;
    MessageStyle style_ = MessageStyle::Warning;
};

}  // namespace valvora
