#include "runtime/forms/form_runtime.h"

#include <windows.h>

#include "runtime/exit_routine.h"
#include "runtime/fatal_error.h"
#include "runtime/forms/form_internal.h"
#include "runtime/startup_trace.h"
#include "runtime/system_functions.h"

namespace snipora {
namespace forms {

Registry& Forms() {
  static Registry registry;
  return registry;
}

WindowState* FindWindowState(uint32_t id) {
  for (WindowState& window : Forms().windows)
    if (window.definition->id == id || window.definition->unit == id) return &window;
  return nullptr;
}

WindowState& LoadedWindow(uint32_t id) {
  WindowState* window = FindWindowState(id);
  if (!window || !window->hwnd) FatalRuntimeError("未载入欲访问窗口组件所在的窗口");
  return *window;
}

ControlState* FindControl(WindowState& window, uint32_t id) {
  for (ControlState& control : window.controls)
    if (control.definition->id == id) return &control;
  return nullptr;
}

// Events are raised inside window procedures (and a window's created event
// inside LoadWindow): an exception from a procedure must not unwind through
// the system's frames. It ends the program as the runtime's own faults do.
std::optional<int32_t> RaiseEvent(WindowState& window, uint32_t control, int32_t event, const EventArgs& args) {
  for (const EventBinding& binding : window.definition->events) {
    if (binding.control != control || binding.event != event) continue;
    try {
      return binding.procedure(args);
    } catch (...) {
      FatalCurrentException();
    }
  }
  return std::nullopt;
}

}  // namespace forms

COLORREF ToColorRef(Color color) { return color == kButtonFaceColor ? GetSysColor(COLOR_BTNFACE) : color; }

UniqueBrush MakeBrush(Color color) { return UniqueBrush(CreateSolidBrush(ToColorRef(color))); }

using namespace forms;

void InstallForms(std::span<const WindowDefinition> definitions) {
  Registry& registry = Forms();
  registry.windows.clear();
  registry.windows.reserve(definitions.size());
  for (const WindowDefinition& definition : definitions) {
    WindowState& window = registry.windows.emplace_back();
    window.definition = &definition;
    window.width = definition.width;
    window.height = definition.height;
    window.visible = definition.visible;
    window.backColor = definition.backColor;
    window.controls.reserve(definition.controls.size());
    for (const ControlDefinition& control : definition.controls) {
      window.controls.push_back(ControlState{
          .definition = &control,
          .window = &window,
          .left = control.left,
          .top = control.top,
          .width = control.width,
          .height = control.height,
          .tag = Text(),
          .visible = !(control.flags & kHidden),
          .disabled = (control.flags & kDisabled) != 0,
          .textColor = control.textColor,
          .backColor = control.backColor,
      });
      if (control.kind == ControlKind::DrawPanel && !control.image.empty())
        window.controls.back().picture = Bytes::Copy(control.image.data(), control.image.size());
    }
  }
}

bool LoadWindow(uint32_t id, std::optional<uint32_t> parent, bool modal) {
  WindowState* window = FindWindowState(id);
  if (!window) return false;
  if (window->hwnd && window->closePending) {
    Forms().reloading = true;
    DestroyWindow(window->hwnd);
    Forms().reloading = false;
  }
  if (window->hwnd) {
    if (IsIconic(window->hwnd))
      ShowWindow(window->hwnd, SW_RESTORE);
    else
      SetActiveWindow(window->hwnd);
    return true;
  }
  HWND owner = nullptr;
  if (parent)
    if (WindowState* p = FindWindowState(*parent)) owner = p->hwnd;

  // a modal window disables every other window of the program until it closes
  std::vector<HWND> disabled;
  if (modal)
    for (WindowState& other : Forms().windows)
      if (other.hwnd && IsWindowEnabled(other.hwnd)) {
        EnableWindow(other.hwnd, FALSE);
        disabled.push_back(other.hwnd);
      }

  if (!CreateNativeWindow(*window, owner)) {
    for (HWND h : disabled) EnableWindow(h, TRUE);
    return false;
  }
  HWND hwnd = window->hwnd;
  if (window->visible) ShowWindow(hwnd, SW_SHOW);
  RaiseEvent(*window, window->definition->unit, event::kCreated);

  if (modal) {
    MarkStartup("message loop");
    MSG message;
    while (IsWindow(hwnd) && GetMessageA(&message, nullptr, 0, 0) > 0) {
      HWND root = GetAncestor(message.hwnd, GA_ROOT);
      if (!root || !IsDialogMessageA(root, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
    if (message.message == WM_QUIT) PostQuitMessage(static_cast<int>(message.wParam));
    for (HWND h : disabled)
      if (IsWindow(h)) EnableWindow(h, TRUE);
  }
  return true;
}

void CloseWindow(uint32_t id) {
  WindowState* window = FindWindowState(id);
  if (!window || !window->hwnd) return;
  window->closePending = true;
  PostMessageA(window->hwnd, kCloseMessage, 0, 0);
}

HWND GetWindowHandle(uint32_t windowId, uint32_t controlId) {
  WindowState* window = FindWindowState(windowId);
  if (!window) return nullptr;
  if (controlId == window->definition->id || controlId == window->definition->unit) return window->hwnd;
  ControlState* control = FindControl(*window, controlId);
  return control ? control->hwnd : nullptr;
}

HDC GetPanelDC(uint32_t windowId, uint32_t controlId) {
  WindowState* window = FindWindowState(windowId);
  ControlState* control = window ? FindControl(*window, controlId) : nullptr;
  if (!control || !control->hwnd || control->definition->kind != ControlKind::DrawPanel) return nullptr;
  return GetDC(control->hwnd);  // the panel's class keeps one DC of its own: nothing to release
}

int RunMessageLoop() {
  Registry& registry = Forms();
  registry.loopRunning = true;
  MarkStartup("message loop");
  bool anyLoaded = false;
  for (WindowState& window : registry.windows) anyLoaded |= window.hwnd != nullptr;
  if (anyLoaded) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      HWND root = GetAncestor(message.hwnd, GA_ROOT);
      if (!root || !IsDialogMessageA(root, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
  registry.loopRunning = false;
  WriteStartupTrace();
  RunExitRoutine();
  sys::ReleaseSystemFunctions();
  return 0;
}

}  // namespace snipora
