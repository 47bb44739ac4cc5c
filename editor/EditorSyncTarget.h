#pragma once
// What the synchronisation pass needs of the editor's controls; the window
// code implements it over its real controls, tests over plain records.

#include "editor/controls/DialValue.h"

namespace valvora {

class EditorSyncTarget {
public:
    virtual ~EditorSyncTarget() = default;
    // Entries 0-6.
    virtual DialValue& knob(int entry) = 0;
    // Invalidate the knob's window so it paints its new value.
    virtual void repaintKnob(int entry) = 0;
    // Entries 7-16: the frame shown, and setting it (repaints at once).
    virtual int buttonState(int entry) = 0;
    virtual void setButtonState(int entry, int state) = 0;
};

}  // namespace valvora
