#include "editor/update/SystemDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace valvora {
namespace {
bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// The first dialog tool on PATH, by preference: GNOME's, KDE's, plain X's.
const char* findDialogTool()
{
    const char* path = std::getenv("PATH");
    if (!path) return nullptr;
    for (const char* tool : {"zenity", "kdialog", "xmessage"}) {
        for (const char* dir = path; *dir;) {
            const char* end = std::strchr(dir, ':');
            const std::size_t length = end ? static_cast<std::size_t>(end - dir) : std::strlen(dir);
            const std::string candidate = std::string(dir, length) + "/" + tool;
            if (length > 0 && access(candidate.c_str(), X_OK) == 0) return tool;
            if (!end) break;
            dir = end + 1;
        }
    }
    return nullptr;
}

std::vector<std::string> dialogCommand(const std::string& tool, const std::string& text,
                                       const std::string& caption, MessageStyle style)
{
    const bool question = style == MessageStyle::Question;
    if (tool == "zenity") {
        const char* kind = question ? "--question" : style == MessageStyle::Warning ? "--warning" : "--info";
        return {tool, kind, "--no-markup", "--title=" + caption, "--text=" + text};
    }
    if (tool == "kdialog") {
        const char* kind = question ? "--yesno" : style == MessageStyle::Warning ? "--sorry" : "--msgbox";
        return {tool, "--title", caption, kind, text};
    }
    return {tool, "-center", "-title", caption, "-buttons", question ? "Yes:0,No:1" : "OK:0", text};
}

// Spawns without a shell, so no text is ever interpreted; stdin is /dev/null.
pid_t spawn(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? 0 : pid;
}

MessageAnswer refusal(MessageStyle style)
{
    return style == MessageStyle::Question ? MessageAnswer::No : MessageAnswer::Ok;
}
}  // namespace

MessageAnswer SystemDialog::show(void*, const std::string& text, const std::string& caption, MessageStyle style)
{
    const char* tool = hasDisplay() ? findDialogTool() : nullptr;
    if (!tool) {
        // Nowhere to ask: say it where a user running the host can see it, and
        // take a question as declined rather than wait for an answer.
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return refusal(style);
    }
    pid_t pid = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (dismissed_) return refusal(style);
        pid = spawn(dialogCommand(tool, text, caption, style));
        if (pid == 0) return refusal(style);
        shower_ = static_cast<unsigned long>(pid);
        style_ = style;
    }
    // Wait without reaping first, so dismiss() can never signal a process id
    // that has been reaped and handed to someone else.
    siginfo_t info{};
    const bool ended = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shower_ = 0;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const bool yes = ended && info.si_code == CLD_EXITED && info.si_status == 0;
    if (style == MessageStyle::Question) return yes ? MessageAnswer::Yes : MessageAnswer::No;
    return MessageAnswer::Ok;
}

void SystemDialog::dismiss() noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    dismissed_ = true;
    if (shower_ != 0) kill(static_cast<pid_t>(shower_), SIGTERM);
}

void SystemDialog::openUrl(const std::string& url)
{
    // The short-lived shell puts xdg-open in the background, so neither the
    // check thread nor the editor ever waits for a browser; the URL travels
    // as an argument, never as shell text.
    const pid_t pid = spawn({"sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", url});
    if (pid != 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

}  // namespace valvora
