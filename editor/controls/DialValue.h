#pragma once
// The value and mouse arithmetic of a dial, kept free of windows so that it
// can be checked anywhere. Moving the mouse up raises the value by one step
// per two pixels; Ctrl-click recentres; Shift lets only multiples of 10 through.
// Host window thread only.

namespace valvora {

class DialValue {
public:
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 100;
    static constexpr int kCentre = 50;

    int value() const noexcept { return value_; }
    // Clamps to 0..100.
    void setValue(int value) noexcept;

    // The painted value drives repaints; the exchanged value (last read from or
    // written to the host) tells a user's move from a host change not yet
    // painted, so a hidden editor never echoes automation back to the host.
    int lastPainted() const noexcept { return painted_; }
    void markPainted() noexcept { painted_ = value_; }
    bool needsRepaint() const noexcept { return value_ != painted_; }
    bool movedByUser() const noexcept { return value_ != exchanged_; }
    void markExchanged() noexcept { exchanged_ = value_; }

    // Mouse handling; y is the signed vertical position in the control.
    // press answers whether a drag started (the caller then captures the mouse).
    bool press(int y, bool ctrl) noexcept;
    void move(int y, bool shift) noexcept;
    void release() noexcept { anchor_ = -1; }
    bool dragging() const noexcept { return anchor_ != -1; }

private:
    static constexpr int kDragShift = 1;  // two pixels per step

    int value_ = 0;
    int painted_ = 0;
    int exchanged_ = 0;
    int anchor_ = -1;
};

}  // namespace valvora
