#pragma once
// The host's side of the Windows editor in tests: captures of the editor as
// the user sees it (the panel with every visible control painted at its
// place, bottom of the z-order first) and the message loop.

#include <windows.h>

#include "tests/editor/RgbImage.h"

namespace valvora::test {

RgbImage captureEditor(HWND editor);

// Dispatches whatever is queued (paints included) without waiting.
void drainMessages();
// Runs the message loop until the editor's timer has fired once, then lets
// the paints it caused happen. False if no poll came within two seconds.
bool pollOnce(HWND editor);

}  // namespace valvora::test
