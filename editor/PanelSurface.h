#pragma once
// The editor's panel composed in software, for window systems whose child
// windows do not composite for us: the panel picture with the 17 controls
// drawn over it where they are visible, the same pictures, places and
// stacking as the Windows editor's child windows. It routes pointer presses,
// drags and releases to the control under the pointer, as a window system
// routes them to child windows, and tells which area must be shown again.
// Host window thread only (or whichever one thread owns the editor's window).

#include <array>
#include <functional>

#include "editor/EditorLayout.h"
#include "editor/EditorSyncTarget.h"
#include "editor/controls/ButtonImage.h"
#include "editor/controls/DialValue.h"
#include "editor/controls/KnobImage.h"
#include "editor/controls/LedButtonModel.h"
#include "editor/controls/PixelImage.h"

namespace valvora {

class PanelSurface final : public EditorSyncTarget {
public:
    // The image of a resource id, empty when it is missing.
    using ImageSource = std::function<PixelImage(int id)>;

    // A button press that changed the button's state, to be reported.
    struct Click {
        int controlId = 0;
        int state = 0;
    };

    // Composes every control over mainPanel (a control whose image is
    // missing stays absent, as a control without a window); starts in the
    // normal view with everything to be painted. Values and lit states
    // survive, as the controls' objects do from one opening to the next.
    void build(const PixelImage& mainPanel, const PixelImage& aboutPanel, const ImageSource& images);
    // Drops every picture (the editor closed); values and states stay.
    void reset() noexcept;

    const PixelImage& frame() const noexcept { return frame_; }
    bool hasControl(int entry) const noexcept;
    bool visible(int entry) const noexcept { return hasControl(entry) && shown_[index(entry)]; }
    PixelRect placeOf(int entry) const noexcept;

    // Marks an area to be painted again; paint() draws everything marked
    // into frame() and answers the area it changed (empty when nothing).
    void invalidate(const PixelRect& area) noexcept;
    PixelRect paint() noexcept;

    // Pointer input in panel pixels, with the modifiers held. A press goes to
    // the topmost visible control under the pointer, which keeps the pointer
    // until the release (or until it loses it) wherever it moves.
    bool press(int x, int y, bool ctrl, Click& click) noexcept;
    void move(int x, int y, bool shift) noexcept;
    void release() noexcept;
    void loseCapture() noexcept;
    bool capturing() const noexcept { return captured_ >= 0; }

    // The about view shows the about panel and only the top row of buttons.
    void setAboutView(bool about) noexcept;
    bool aboutView() const noexcept { return about_; }

    // The synchronisation pass's view of the controls.
    DialValue& knob(int entry) override { return dials_[index(entry)]; }
    void repaintKnob(int entry) override;
    int buttonState(int entry) override { return model(entry).state(); }
    void setButtonState(int entry, int state) override;

private:
    static std::size_t index(int entry) noexcept { return static_cast<std::size_t>(entry); }
    static bool isKnob(int entry) noexcept { return entry < EditorLayout::kKnobCount; }
    LedButtonModel& model(int entry) noexcept { return buttons_[index(entry - EditorLayout::kKnobCount)]; }
    // Controls in the order their windows stack, bottom first.
    static const std::array<int, EditorLayout::kControlCount>& stacking() noexcept;
    int controlAt(int x, int y) const noexcept;
    void drawControl(int entry, const PixelRect& clip) noexcept;

    PixelImage main_;
    PixelImage aboutPanel_;
    PixelImage frame_;
    std::array<DialValue, EditorLayout::kKnobCount> dials_{};
    std::array<LedButtonModel, EditorLayout::kControlCount - EditorLayout::kKnobCount> buttons_{};
    std::array<KnobImage, EditorLayout::kKnobCount> knobImages_{};
    std::array<ButtonImage, EditorLayout::kControlCount - EditorLayout::kKnobCount> buttonImages_{};
    std::array<bool, EditorLayout::kControlCount> shown_{};
    PixelRect invalid_{};
    int captured_ = -1;
    bool about_ = false;
};

}  // namespace valvora
