#pragma once
// What a click on one of the editor's buttons asks for, whichever window
// system delivered it. Host window thread.

namespace valvora {

struct ButtonCommand {
    enum class Kind { none, setParameter, startUpdateCheck, showAbout, hideAbout };
    Kind kind = Kind::none;
    int parameter = -1;
    float value = 0.0f;

    // controlId and the button's new state (bit 0 = lit), as the button reports them.
    static ButtonCommand forClick(int controlId, int state) noexcept;
};

}  // namespace valvora
