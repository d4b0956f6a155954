#include "skin/png_control.h"

#include "runtime/system_functions.h"
#include "skin/parent_procedure.h"
#include "skin/subclass.h"
#include "skin/tooltips.h"
#include "skin/window_properties.h"

namespace snipora {

using namespace skin;

std::unique_ptr<PngControl> PngControl::Clone() const { return std::unique_ptr<PngControl>(new PngControl(*this)); }

bool PngControl::Attach(HWND window) {
  if (!sys::IsWindow(window)) return false;
  HWND parent = sys::GetParent(window);
  if (GetProperty(parent, prop::kType) == kNotPng) SubclassWindow(parent, ParentProc);
  EditStyle(window, WS_CLIPSIBLINGS);
  EditExStyle(window, 0, WS_EX_TRANSPARENT);
  // the parent paints the area under its children, which the snapshot takes
  EditStyle(parent, WS_CLIPCHILDREN);
  handle_ = window;
  return true;
}

HWND PngControl::GetHandle() const { return handle_; }

BOOL PngControl::SetProp(TextView name, intptr_t value) const { return SetProperty(handle_, name.c_str(), value); }

intptr_t PngControl::GetProp(TextView name) const { return GetProperty(handle_, name.c_str()); }

LRESULT PngControl::SendMsg(UINT message, WPARAM wParam, LPARAM lParam) const {
  return sys::SendMessageA(handle_, message, wParam, lParam);
}

void PngControl::SetToolTip(TextView text, std::optional<int32_t> atCursor) const {
  skin::SetToolTip(handle_, text, atCursor.value_or(1) & 1);
}

void PngControl::Move(const MoveArguments& to) const {
  RECT rect{};
  sys::GetWindowRect(handle_, &rect);
  UINT flags = SWP_NOZORDER;
  if (to.noRedraw) flags |= SWP_NOREDRAW;
  if (!to.left && !to.top) flags |= SWP_NOMOVE;
  if (!to.width && !to.height) flags |= SWP_NOSIZE;
  POINT corner{rect.left, rect.top};
  if (HWND parent = sys::GetParent(handle_)) sys::ScreenToClient(parent, &corner);
  sys::SetWindowPos(handle_, nullptr, to.left.value_or(corner.x), to.top.value_or(corner.y),
                    to.width.value_or(rect.right - rect.left), to.height.value_or(rect.bottom - rect.top), flags);
}

HWND PngControl::GetHandle2() const { return GetHandle(); }

bool PngControl::IsAlive() const { return sys::IsWindow(handle_) == 1; }

void PngControl::Redraw() const { sys::InvalidateRect(handle_, nullptr, FALSE); }

LRESULT PngControl::SendMsg2(UINT message, WPARAM wParam, LPARAM lParam) const {
  return SendMsg(message, wParam, lParam);
}

void PngControl::SetBackType(int32_t type) const { SetProperty(handle_, prop::kBackType, type); }

}  // namespace snipora
