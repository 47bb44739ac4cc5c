#pragma once
// The frame logic of a lit button: which sprite frame a press or a release
// leads to. 2 frames toggle on press; 4 frames show a held frame while pressed
// (3 turning lit, 2 turning unlit) and settle on release; 1 and 3 frames fall
// back to frame 0. Control id 0 marks a pure indicator that ignores clicks.
// Host window thread only.

#include <array>

namespace valvora {

class LedButtonModel {
public:
    void configure(int controlId, int frames) noexcept;

    int controlId() const noexcept { return id_; }
    int frames() const noexcept { return frames_; }
    int state() const noexcept { return state_; }

    // True when the press changed the frame: the parent must then be told.
    bool press() noexcept;
    // True when the release changed the frame (the parent is not told).
    bool release() noexcept;
    // Sets the lit bit from outside, keeping a 4-frame button's held bit.
    void setState(int s) noexcept;

private:
    bool advance(const std::array<int, 4>& next) noexcept;

    int id_ = 0;
    int frames_ = 1;
    int state_ = 0;
    std::array<int, 4> pressNext_{};
    std::array<int, 4> releaseNext_{};
};

}  // namespace valvora
