#pragma once
#include <windows.h>

namespace snipora::skin {

// Installed on the parent of PNG controls: repaints custom-drawn controls on
// their custom-draw notifications, answers the colour queries of every PNG
// control (transparent, no brush; edit controls take their text colour) and
// keeps edit controls repainted as their text changes or scrolls.
LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace snipora::skin
