#pragma once
// Shared between the runtime's files; not for the application.
#include <optional>
#include <vector>

#include "runtime/forms/form_state.h"

namespace snipora::forms {

// Private message of a posted close.
inline constexpr UINT kCloseMessage = 0x8065;

struct Registry {
  std::vector<WindowState> windows;  // never resized after InstallForms: states are referenced
  bool loopRunning = false;
  bool reloading = false;  // a window is destroyed to be loaded anew: not the end
  std::vector<const int32_t*> lists;
};
Registry& Forms();

WindowState* FindWindowState(uint32_t id);
// The window's state, or the fatal end for a window that is not loaded.
WindowState& LoadedWindow(uint32_t id);
ControlState* FindControl(WindowState& window, uint32_t id);

// Calls the procedure bound to (window, control, event); nothing when unbound.
std::optional<int32_t> RaiseEvent(WindowState& window, uint32_t control, int32_t event, const EventArgs& args = {});

// Native windows.
bool CreateNativeWindow(WindowState& window, HWND owner);
void PaintPanelBackground(ControlState& panel, HDC dc);

}  // namespace snipora::forms
