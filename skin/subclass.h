#pragma once
// Taking over windows: one subclass procedure per window, the previous
// procedure kept in the window's PngControl_WndProc, and the style edits.
#include <windows.h>

#include <cstdint>

namespace snipora::skin {

// Installs `procedure` unless the window is already subclassed (by any
// procedure of the skin).
void SubclassWindow(HWND window, WNDPROC procedure);

// What a subclass procedure does with a message it does not consume.
LRESULT CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// (style AND NOT remove) OR add; false, with no further call, when that
// changes nothing. Extra flags (SWP_FRAMECHANGED and the like) ask for a
// SetWindowPos that applies the change.
bool EditStyle(HWND window, uint32_t remove = 0, uint32_t add = 0, uint32_t extraFlags = 0);
bool EditExStyle(HWND window, uint32_t remove = 0, uint32_t add = 0, uint32_t extraFlags = 0);

}  // namespace snipora::skin
