#pragma once
// The plug-in's editor on Linux: the same 689 x 140 panel, controls, about
// view and version check as on Windows, inside the X11 window the host hands
// to effEditOpen. Linux hosts drive editors through effEditIdle from their
// window thread (15 to 60 times a second): the editor's window events and
// its poll of the parameters run there. For a host that never calls idle,
// a small thread of the editor's own takes over after a moment of silence,
// so the panel still paints and still writes the user's changes.
// It reaches the plug-in only through getParameter and setParameterAutomated.
// Host window thread only.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "editor/PanelSurface.h"
#include "editor/controls/PixelImage.h"
#include "platform/Threading.h"
#include "plugin/AEffEditor.h"

class AudioEffect;

namespace valvora {

class UpdateChecker;
class X11Window;
struct WindowEvent;

class KelmoEditor : public AEffEditor {
public:
    // Attaches itself to the effect (the effect's editor, effFlagsHasEditor).
    explicit KelmoEditor(AudioEffect* effect);
    // Detaches itself; stops a running version check.
    ~KelmoEditor() override;

    bool getRect(ERect** rect) override;
    // ptr: the parent's X11 window id. A second open without a close first
    // tears the old window down.
    bool open(void* ptr) override;
    void close() override;
    bool isOpen() override;
    // The host's window thread, regularly: window events, the poll, painting.
    void idle() override;
    // The editor's own window (the host's child), 0 while closed: an LV2
    // host embeds the UI by this id.
    unsigned long windowId();

private:
    void service();  // windowLock held
    void handle(const WindowEvent& event);
    void onClick(int controlId, int state);
    void present();
    void stopPump() noexcept;
    static void pumpEntry(void* editor) noexcept;
    void pump() noexcept;

    ERect rect{};
    PixelImage mainPanel;
    PixelImage aboutPanel;  // without its texts: they are drawn with the display's fonts on opening
    PanelSurface panel;
    // The window is used by one thread at a time: the host's window thread,
    // or the pump while the host stays silent.
    std::recursive_mutex windowLock;
    std::unique_ptr<X11Window> window;
    platform::Event pumpQuit{platform::Event::Reset::Manual};
    platform::Thread pumpThread;
    std::atomic<std::int64_t> lastIdleMs{0};
    std::unique_ptr<UpdateChecker> updateCheck;
};

}  // namespace valvora
