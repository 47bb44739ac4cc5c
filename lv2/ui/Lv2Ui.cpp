// The LV2 UI: the Linux editor, embedded by the host as an X11 child of the
// window it passes as ui:parent. The editor reads and writes the plug-in's
// parameters through a PortMirror, so the panel, its drawing, its drag
// rules and its version check are those of the VST editor. Host UI thread.

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "editor/x11/KelmoEditor.h"
#include "lv2/Lv2Ports.h"
#include "lv2/ui/PortMirror.h"

namespace valvora::lv2 {

namespace {

struct HostFeatures {
    void* parent = nullptr;
    const LV2UI_Resize* resize = nullptr;
};

HostFeatures findFeatures(const LV2_Feature* const* features) noexcept
{
    HostFeatures found;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if (!(*f)->URI) continue;
        if (std::strcmp((*f)->URI, LV2_UI__parent) == 0) found.parent = (*f)->data;
        if (std::strcmp((*f)->URI, LV2_UI__resize) == 0)
            found.resize = static_cast<const LV2UI_Resize*>((*f)->data);
    }
    return found;
}

class Lv2Ui {
public:
    Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller)
        : write_(write), controller_(controller), mirror_(writePort, this)
    {
        editor_ = new KelmoEditor(&mirror_);  // owned by the mirror from here
    }

    ~Lv2Ui() { editor_->close(); }

    // Opens the panel in parent; the window's id is the host's widget.
    bool open(void* parent, const LV2UI_Resize* resize, LV2UI_Widget* widget)
    {
        if (!editor_->open(parent)) return false;
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(editor_->windowId()));
        ERect* rect = nullptr;
        if (resize && resize->ui_resize && editor_->getRect(&rect))
            resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
        return true;
    }

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) noexcept
    {
        // Format 0 is a control port's float; nothing else is sent to this UI.
        if (format != 0 || size != sizeof(float) || !buffer) return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        mirror_.portChanged(port, value);
    }

    // Non-zero once the host destroyed the window the panel lived in.
    int idle()
    {
        editor_->idle();
        return editor_->isOpen() ? 0 : 1;
    }

private:
    static void writePort(void* self, std::uint32_t port, float value)
    {
        auto* ui = static_cast<Lv2Ui*>(self);
        if (ui->write_) ui->write_(ui->controller_, port, sizeof value, 0, &value);
    }

    LV2UI_Write_Function write_;
    LV2UI_Controller controller_;
    PortMirror mirror_;
    KelmoEditor* editor_ = nullptr;
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features)
{
    if (!widget || !pluginUri || std::strcmp(pluginUri, valvora::lv2::pluginUri) != 0) return nullptr;
    const HostFeatures host = findFeatures(features);
    // An X11 UI is a child window: without a parent there is nowhere to be.
    if (!host.parent) return nullptr;
    try {
        auto ui = std::make_unique<Lv2Ui>(write, controller);
        if (!ui->open(host.parent, host.resize, widget)) return nullptr;
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle)
{
    delete static_cast<Lv2Ui*>(handle);
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer)
{
    static_cast<Lv2Ui*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle)
{
    try {
        return static_cast<Lv2Ui*>(handle)->idle();
    } catch (...) {
        return 0;  // out of memory while painting: the next round tries again
    }
}

const LV2UI_Idle_Interface idleInterface = {idle};

const void* extensionData(const char* uri)
{
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    return nullptr;
}

const LV2UI_Descriptor descriptor = {uiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

}  // namespace valvora::lv2

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index)
{
    return index == 0 ? &valvora::lv2::descriptor : nullptr;
}
