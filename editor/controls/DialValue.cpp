#include "editor/controls/DialValue.h"

namespace valvora {

void DialValue::setValue(int value) noexcept
{
    value_ = value >= kMaximum ? kMaximum : (value <= kMinimum ? kMinimum : value);
}

bool DialValue::press(int y, bool ctrl) noexcept
{
    if (ctrl) {
        setValue(kCentre);
        return false;
    }
    anchor_ = (y >> kDragShift) + value_;
    return true;
}

void DialValue::move(int y, bool shift) noexcept
{
    if (!dragging()) return;
    const int v = anchor_ - (y >> kDragShift);
    // With Shift the knob snaps: positions between the tens are skipped.
    if (!shift || v % 10 == 0) setValue(v);
}

}  // namespace valvora
