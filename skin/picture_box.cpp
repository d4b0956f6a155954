// The picture box: the PNG control kind the skin takes over by itself. It
// repaints itself from a snapshot of its background and its picture.
#include "gdiplus/image_from_bytes.h"
#include "runtime/startup_trace.h"
#include "runtime/system_functions.h"
#include "skin/painting.h"
#include "skin/png_control.h"
#include "skin/skin_startup.h"
#include "skin/subclass.h"
#include "skin/window_properties.h"

namespace snipora {

using namespace skin;

namespace {

constexpr char kPictureBoxText[] = "dazaru.图片框";

LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = sys::BeginPaint(window, &paint);
      PaintPictureBox(window, dc);
      sys::EndPaint(window, &paint);
      MarkStartup("banner painted");
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the parent's painting stays until the snapshot takes it
    case WM_NCDESTROY:
      // the snapshot is the picture box's own: a window made anew each time
      // (an About window) would otherwise leave one bitmap behind per opening
      if (const auto snapshot = GetHandleProperty<HBITMAP>(window, prop::kCacheBitmap)) {
        sys::DeleteObject(snapshot);
        SetProperty(window, prop::kCacheBitmap, 0);
      }
      break;
  }
  return CallPrevious(window, message, wParam, lParam);
}

// The parent repaints the area under the picture box first, so the next
// snapshot holds the parent's painting, not the box's previous picture.
void InvalidateOnParent(HWND window) {
  RECT rect{};
  sys::GetWindowRect(window, &rect);
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  HWND parent = sys::GetParent(window);
  POINT corner{rect.left, rect.top};
  sys::ScreenToClient(parent, &corner);
  const RECT under{corner.x, corner.y, corner.x + width, corner.y + height};
  sys::InvalidateRect(parent, &under, FALSE);
  sys::InvalidateRect(window, nullptr, FALSE);
}

}  // namespace

HWND PngControl::CreatePictureBox(HWND parent, int32_t left, int32_t top, int32_t width, int32_t height) {
  HWND window = sys::CreateWindowExA(WS_EX_TRANSPARENT, "Static", kPictureBoxText, WS_CHILD | WS_VISIBLE | SS_NOTIFY,
                                     left, top, width, height, parent, nullptr, nullptr, nullptr);
  AttachPictureBox(window);
  return window;
}

bool PngControl::AttachPictureBox(HWND window, GpImage* image) {
  if (!Attach(window)) return false;
  SetProperty(window, prop::kType, kPictureBox);
  sys::SetWindowTextA(window, kPictureBoxText);
  SubclassWindow(window, PictureBoxProc);
  if (image) SetBackImage(image);
  return true;
}

void PngControl::SetBackImage(GpImage* image) const {
  SetProperty(GetHandle(), prop::kBackImage, reinterpret_cast<intptr_t>(image));
  InvalidateOnParent(GetHandle());
}

void PngControl::LoadImageBytes(BytesView bytes) const {
  SetBackImage(LoadImageFromBytes(bytes, FrameDimensionTime()));
}

}  // namespace snipora
