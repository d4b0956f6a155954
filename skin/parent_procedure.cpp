#include "skin/parent_procedure.h"

#include <commctrl.h>

#include "runtime/system_functions.h"
#include "skin/painting.h"
#include "skin/subclass.h"
#include "skin/window_properties.h"

namespace snipora::skin {

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      // every stage of the notification repaints: the stage is not looked at
      if (header && header->code == UINT(NM_CUSTOMDRAW) && GetProperty(header->hwndFrom, prop::kType) == kCustomDrawn)
        DrawStateImage(header->hwndFrom);
      break;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
      const auto control = reinterpret_cast<HWND>(lParam);
      const intptr_t type = GetProperty(control, prop::kType);
      if (type == kNotPng) break;
      const auto dc = reinterpret_cast<HDC>(wParam);
      if (type == kEditControl) sys::SetTextColor(dc, COLORREF(GetProperty(control, prop::kTextColor)));
      sys::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(sys::GetStockObject(NULL_BRUSH));
    }
    case WM_COMMAND: {
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control && GetProperty(control, prop::kType) == kEditControl) {
        const auto code = static_cast<int32_t>(wParam) >> 16;
        if (code == EN_VSCROLL || code == EN_HSCROLL || code == EN_CHANGE) sys::InvalidateRect(control, nullptr, TRUE);
      }
      break;
    }
  }
  return CallPrevious(window, message, wParam, lParam);
}

}  // namespace snipora::skin
