#include "skin/subclass.h"

#include "runtime/system_functions.h"
#include "skin/window_properties.h"

namespace snipora::skin {
namespace {

bool EditLong(HWND window, int index, uint32_t remove, uint32_t add, uint32_t extraFlags) {
  const auto old = static_cast<uint32_t>(sys::GetWindowLongA(window, index));
  const uint32_t edited = (old & ~remove) | add;
  if (edited == old) return false;
  sys::SetWindowLongA(window, index, static_cast<LONG>(edited));
  if (extraFlags)
    sys::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                      SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | extraFlags);
  return true;
}

}  // namespace

void SubclassWindow(HWND window, WNDPROC procedure) {
  if (GetProperty(window, prop::kWndProc)) return;
  const LONG_PTR previous =
      sys::SetWindowLongPointer(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
  SetProperty(window, prop::kWndProc, previous);
}

LRESULT CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto previous = GetHandleProperty<WNDPROC>(window, prop::kWndProc);
  return sys::CallWindowProcA(previous, window, message, wParam, lParam);
}

bool EditStyle(HWND window, uint32_t remove, uint32_t add, uint32_t extraFlags) {
  return EditLong(window, GWL_STYLE, remove, add, extraFlags);
}

bool EditExStyle(HWND window, uint32_t remove, uint32_t add, uint32_t extraFlags) {
  return EditLong(window, GWL_EXSTYLE, remove, add, extraFlags);
}

}  // namespace snipora::skin
