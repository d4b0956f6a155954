#include "tests/skin/skin_test_window.h"

namespace snipora::test {

LRESULT CALLBACK TestParent::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TestParent*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TestParent*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      for (int y = paint.rcPaint.top; y < paint.rcPaint.bottom; ++y)
        for (int x = paint.rcPaint.left; x < paint.rcPaint.right; ++x) {
          const uint32_t c = GradientAt(x, y);
          SetPixelV(dc, x, y, RGB(c >> 16, c >> 8 & 0xFF, c & 0xFF));
        }
      EndPaint(window, &paint);
      ++self->paints;
      return 0;
    }
    case WM_NOTIFY:
    case WM_COMMAND:
      self->log.push_back({message, wParam, lParam});
      return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      self->log.push_back({message, wParam, lParam});
      return kOwnBrushMark;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TestParent::TestParent(int width, int height, DWORD style) {
  static const ATOM registered = [] {
    WNDCLASSA c{};
    c.lpfnWndProc = Procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    c.lpszClassName = "SkinTestParent";
    return RegisterClassA(&c);
  }();
  (void)registered;
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, WS_POPUP, FALSE, 0);
  hwnd_ = CreateWindowExA(0, "SkinTestParent", "skin test", WS_POPUP | WS_VISIBLE | style, 100, 100,
                          outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                          GetModuleHandleA(nullptr), this);
  SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  PumpFor(100);
}

TestParent::~TestParent() {
  DestroyWindow(hwnd_);
  PumpFor(20);
}

HWND TestParent::AddChild(int left, int top, int width, int height, const char* cls, DWORD style) {
  return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, left, top, width, height, hwnd_, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  } while (int(end - GetTickCount()) > 0);
}

uint32_t BlendColour(uint32_t src, uint32_t dst, int alpha) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8)
    out |= uint32_t(Blend(int(src >> shift & 0xFF), int(dst >> shift & 0xFF), alpha)) << shift;
  return out;
}

}  // namespace snipora::test
