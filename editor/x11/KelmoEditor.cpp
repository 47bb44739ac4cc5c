#include "editor/x11/KelmoEditor.h"

#include <chrono>
#include <cstdint>

#include "editor/AboutTexts.h"
#include "editor/ButtonCommand.h"
#include "editor/EditorLayout.h"
#include "editor/EditorSync.h"
#include "editor/update/UpdateChecker.h"
#include "editor/x11/LoadBitmapFromStream.h"
#include "editor/x11/X11Window.h"
#include "platform/Diagnostics.h"
#include "plugin/AudioEffect.h"

namespace valvora {

namespace {
// The pump looks this often whether the host still calls idle ...
constexpr unsigned kPumpPeriodMs = 50;
// ... and takes over when it has not for this long (hosts idle every 16 to 66 ms).
constexpr std::int64_t kHostSilenceMs = 250;

std::int64_t nowMs() noexcept
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

KelmoEditor::KelmoEditor(AudioEffect* effect)
    : AEffEditor(effect), updateCheck(std::make_unique<UpdateChecker>())
{
    registerEditorImages();
    aboutPanel = LoadBitmapFromStream(EditorLayout::kAboutPanelResource);
    mainPanel = LoadBitmapFromStream(EditorLayout::kMainPanelResource);
    if (!mainPanel.empty()) {
        rect.right = static_cast<VstInt16>(mainPanel.width());
        rect.bottom = static_cast<VstInt16>(mainPanel.height());
    }
    if (effect) effect->attachEditor(this);
}

KelmoEditor::~KelmoEditor()
{
    if (effect) effect->attachEditor(nullptr);
    close();
    updateCheck.reset();
}

bool KelmoEditor::getRect(ERect** out)
{
    if (!out) return false;
    *out = &rect;
    return true;
}

bool KelmoEditor::open(void* ptr)
{
    if (!ptr) return false;
    close();  // a second open without a close re-creates everything
    auto created = X11Window::create(reinterpret_cast<std::uintptr_t>(ptr), rect.right - rect.left,
                                     rect.bottom - rect.top);
    if (!created) {
        platform::trace("KelmoEditor::open", "no window");
        close();
        return false;
    }
    AEffEditor::open(ptr);
    PixelImage about = aboutPanel;
    const AboutTexts texts("Linux");
    created->drawTexts(about, texts);
    panel.build(mainPanel, about, [](int id) { return LoadBitmapFromStream(id); });
    {
        std::lock_guard<std::recursive_mutex> hold(windowLock);
        window = std::move(created);
        if (effect) EditorSync::run(*effect, panel);
        present();
    }
    lastIdleMs.store(nowMs());
    pumpThread.start(pumpEntry, this);
    return true;
}

void KelmoEditor::close()
{
    stopPump();
    std::lock_guard<std::recursive_mutex> hold(windowLock);
    window.reset();
    panel.reset();
    AEffEditor::close();
}

bool KelmoEditor::isOpen()
{
    std::lock_guard<std::recursive_mutex> hold(windowLock);
    return window != nullptr;
}

unsigned long KelmoEditor::windowId()
{
    std::lock_guard<std::recursive_mutex> hold(windowLock);
    return window ? window->id() : 0;
}

void KelmoEditor::idle()
{
    lastIdleMs.store(nowMs());
    std::lock_guard<std::recursive_mutex> hold(windowLock);
    if (window) service();
}

void KelmoEditor::service()
{
    window->drain([this](const WindowEvent& event) { handle(event); });
    if (!window->alive()) {
        // The host destroyed its window, and ours with it, before closing
        // the editor: nothing is left to show or to clean up on the server.
        window.reset();
        panel.reset();
        AEffEditor::close();
        return;
    }
    if (!panel.aboutView() && effect) EditorSync::run(*effect, panel);
    present();
}

void KelmoEditor::handle(const WindowEvent& event)
{
    switch (event.kind) {
        case WindowEvent::Kind::expose:
            panel.invalidate(event.area);
            break;
        case WindowEvent::Kind::press: {
            PanelSurface::Click click;
            if (panel.press(event.x, event.y, event.ctrl, click)) onClick(click.controlId, click.state);
            break;
        }
        case WindowEvent::Kind::motion:
            panel.move(event.x, event.y, event.shift);
            break;
        case WindowEvent::Kind::release:
            panel.release();
            break;
        case WindowEvent::Kind::captureLost:
            panel.loseCapture();
            break;
        case WindowEvent::Kind::destroyed:
            break;
    }
}

void KelmoEditor::onClick(int controlId, int state)
{
    const ButtonCommand command = ButtonCommand::forClick(controlId, state);
    switch (command.kind) {
        case ButtonCommand::Kind::setParameter:
            if (effect) effect->setParameterAutomated(command.parameter, command.value);
            break;
        case ButtonCommand::Kind::startUpdateCheck:
            updateCheck->startCheck(window ? reinterpret_cast<void*>(window->id()) : nullptr);
            panel.setButtonState(EditorLayout::kUpdateEntry, 0);
            break;
        case ButtonCommand::Kind::showAbout:
            panel.setAboutView(true);
            break;
        case ButtonCommand::Kind::hideAbout:
            panel.setAboutView(false);
            break;
        case ButtonCommand::Kind::none:
            break;
    }
}

void KelmoEditor::present()
{
    const PixelRect changed = panel.paint();
    if (window && !changed.empty()) window->show(panel.frame(), changed);
}

void KelmoEditor::stopPump() noexcept
{
    if (!pumpThread.started()) return;
    pumpQuit.set();
    pumpThread.join();
    pumpQuit.reset();
}

void KelmoEditor::pumpEntry(void* editor) noexcept
{
    static_cast<KelmoEditor*>(editor)->pump();
}

void KelmoEditor::pump() noexcept
{
    while (!pumpQuit.waitFor(kPumpPeriodMs)) {
        if (nowMs() - lastIdleMs.load() < kHostSilenceMs) continue;
        try {
            std::lock_guard<std::recursive_mutex> hold(windowLock);
            if (window) service();
        } catch (...) {
            // Out of memory while painting: the next round tries again.
        }
    }
}

}  // namespace valvora
