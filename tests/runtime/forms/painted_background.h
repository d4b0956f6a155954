#pragma once
// What a control shows as its background once painted: the colour at a point
// clear of its text, outline, frame and tabs.
#include <windows.h>

#include "runtime/forms/form_definition.h"

namespace snipora::test {

inline POINT BackgroundPoint(ControlKind kind, int width, int height) {
  switch (kind) {
    case ControlKind::CheckBox:
    case ControlKind::RadioBox:
    case ControlKind::Label:
      return {width - 3, height / 2};  // right of the left-aligned text
    case ControlKind::Tab:
      return {width - 8, height - 8};  // inside the page, clear of its border
    default:
      return {width / 2, height / 2};
  }
}

// Repaints the control whole and reads the pixel at its background point.
inline COLORREF PaintedBackground(HWND control, ControlKind kind) {
  RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT client;
  GetClientRect(control, &client);
  const POINT at = BackgroundPoint(kind, client.right, client.bottom);
  HDC dc = GetDC(control);
  const COLORREF color = GetPixel(dc, at.x, at.y);
  ReleaseDC(control, dc);
  return color;
}

}  // namespace snipora::test
