#pragma once
// Where the editor's 17 controls sit on the 689 x 140 panel, which images
// they use and which parameter each one drives. Entries 0-6 are knobs, 7-16
// lit buttons. Shared by the window code and the tests.

#include <array>

namespace valvora {

enum class ControlKind { knob, button };

struct ControlPlacement {
    ControlKind kind;
    int x;
    int y;
    int resource;     // sprite (the knob's body; its scale is kKnobScaleResource)
    int frameWidth;
    int frameHeight;
    int controlId;    // buttons: the id reported to the editor; 0 = indicator
    int parameter;    // the parameter shown, or -1
};

class EditorLayout {
public:
    static constexpr int kControlCount = 17;
    static constexpr int kKnobCount = 7;
    static constexpr int kButtonFrames = 2;
    static constexpr int kPanelWidth = 689;
    static constexpr int kPanelHeight = 140;

    static constexpr int kKnobBodyResource = 123;
    static constexpr int kKnobScaleResource = 124;
    static constexpr int kMainPanelResource = 127;
    static constexpr int kAboutPanelResource = 128;
    static constexpr float kKnobCentreX = 27.5f;
    static constexpr float kKnobCentreY = 28.0f;

    // Entries of the buttons the editor treats specially.
    static constexpr int kPowerEntry = 7;
    static constexpr int kUpdateEntry = 10;
    static constexpr int kAboutEntry = 11;
    static constexpr int kDriveSelectEntry = 13;
    static constexpr int kLampEntry = 14;
    static constexpr int kUpdateControlId = 10;
    static constexpr int kAboutControlId = 11;

    static const ControlPlacement& entry(int index) noexcept { return table()[static_cast<unsigned>(index)]; }
    static const std::array<ControlPlacement, kControlCount>& table() noexcept;

    // Windows are created in this order (it decides which overlapping
    // control paints on top).
    static const std::array<int, kKnobCount>& knobCreationOrder() noexcept;
    static const std::array<int, kControlCount - kKnobCount>& buttonCreationOrder() noexcept;

    // The parameter a button's click sets, or -1 (update, about, lamp, unknown).
    static int parameterForControlId(int controlId) noexcept;

    // The about view keeps only the top row of option buttons.
    static bool shownInAboutView(int entry) noexcept { return entry >= 8 && entry <= 12; }
};

}  // namespace valvora
