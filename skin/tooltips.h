#pragma once
#include <windows.h>

#include "runtime/text.h"

namespace snipora::skin {

// Registers `window` with the one tooltip window of the process (made at the
// first call) or, once registered, replaces its text. `atCursor` false
// centres the tip under the window; it counts only at registration.
void SetToolTip(HWND window, TextView text, bool atCursor);

// The shared tooltip window; 0 until the first SetToolTip.
HWND SharedToolTipWindow();

}  // namespace snipora::skin
