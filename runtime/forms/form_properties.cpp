// Numbered properties: 0 to 7 on every control and window, kind-specific
// numbers from 8 on.
#include <windows.h>

#include <string>

#include "runtime/fatal_error.h"
#include "runtime/forms/form_internal.h"
#include "runtime/forms/form_runtime.h"

namespace snipora {

using namespace forms;

namespace {

[[noreturn]] void NoNativeWindow() { FatalRuntimeError("指定窗口尚未载入"); }

// Either the window itself (through its unit or identifier) or one control.
struct Target {
  WindowState& window;
  ControlState* control;  // null: the window
  HWND hwnd() const { return control ? control->hwnd : window.hwnd; }
  ControlKind kind() const { return control ? control->definition->kind : ControlKind::Window; }
};

Target Resolve(uint32_t windowId, uint32_t controlId) {
  WindowState& window = LoadedWindow(windowId);
  if (controlId == window.definition->unit || controlId == window.definition->id) return {window, nullptr};
  ControlState* control = FindControl(window, controlId);
  if (!control) FatalRuntimeError("未载入欲访问窗口组件所在的窗口");
  return {window, control};
}

// The position of a native window relative to its parent's client area
// (screen position for a top-level window).
RECT NativeRect(HWND hwnd) {
  RECT rect;
  GetWindowRect(hwnd, &rect);
  if (HWND parent = GetParent(hwnd); parent && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The number under which a kind keeps its background colour, if any.
std::optional<int32_t> BackColorNumber(ControlKind kind) {
  switch (kind) {
    case ControlKind::Window: return property::kWindowBackColor;
    case ControlKind::PicBox: return property::kPicBoxBackColor;
    case ControlKind::DrawPanel: return property::kPanelBackColor;
    case ControlKind::ShapeBox: return property::kShapeBackColor;
    case ControlKind::GroupBox: return property::kGroupBackColor;
    case ControlKind::Label: return property::kLabelBackColor;
    case ControlKind::CheckBox: return property::kCheckBackColor;
    case ControlKind::RadioBox: return property::kRadioBackColor;
    case ControlKind::Tab: return property::kTabBackColor;
    default: return std::nullopt;
  }
}

void SetBackColor(Target& target, Color color) {
  if (target.control) {
    target.control->backColor = color;
    target.control->brush = MakeBrush(color);
  } else {
    target.window.backColor = color;
    target.window.brush = MakeBrush(color);
  }
  InvalidateRect(target.hwnd(), nullptr, TRUE);
}

Text EditContent(HWND edit) {
  const int length = GetWindowTextLengthA(edit);
  if (length <= 0) return Text();
  std::string buffer(std::size_t(length) + 1, '\0');
  const int copied = GetWindowTextA(edit, buffer.data(), length + 1);
  return TextFromBytes(buffer.data(), std::size_t(copied > 0 ? copied : 0));
}

}  // namespace

int32_t GetControlProperty(uint32_t windowId, uint32_t controlId, int32_t number) {
  Target target = Resolve(windowId, controlId);
  HWND hwnd = target.hwnd();
  ControlState* c = target.control;
  WindowState& w = target.window;
  if (number >= 0 && number <= 3) {
    if (hwnd) {
      const RECT r = NativeRect(hwnd);
      const int32_t values[] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
      return values[number];
    }
    const int32_t stored[] = {c ? c->left : w.left, c ? c->top : w.top, c ? c->width : w.width,
                              c ? c->height : w.height};
    return stored[number];
  }
  switch (number) {
    case property::kTag: return 0;
    case property::kVisible: return hwnd ? IsWindowVisible(hwnd) != 0 : (c ? c->visible : w.visible);
    case property::kDisabled: return hwnd ? !IsWindowEnabled(hwnd) : (c ? c->disabled : w.disabled);
    case property::kMousePointer: return c ? c->mousePointer : w.mousePointer;
  }
  if (!hwnd) NoNativeWindow();
  if (BackColorNumber(target.kind()) == number) return static_cast<int32_t>(c ? c->backColor : w.backColor);
  if (target.kind() == ControlKind::EditBox && number == property::kEditTextColor)
    return static_cast<int32_t>(c->textColor);
  if (target.kind() == ControlKind::Window && number == property::kWindowKeepActiveFrame) return w.keepActiveFrame;
  return 0;
}

void SetControlProperty(uint32_t windowId, uint32_t controlId, int32_t number, int32_t value) {
  Target target = Resolve(windowId, controlId);
  HWND hwnd = target.hwnd();
  ControlState* c = target.control;
  WindowState& w = target.window;
  if (number >= 0 && number <= 3) {
    int32_t* stored[] = {c ? &c->left : &w.left, c ? &c->top : &w.top, c ? &c->width : &w.width,
                         c ? &c->height : &w.height};
    *stored[number] = value;
    if (hwnd) {
      RECT r = NativeRect(hwnd);
      int32_t geometry[] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
      geometry[number] = value;
      SetWindowPos(hwnd, nullptr, geometry[0], geometry[1], geometry[2], geometry[3],
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return;
  }
  switch (number) {
    case property::kTag:
      return;
    case property::kVisible:
      (c ? c->visible : w.visible) = value != 0;
      if (hwnd) ShowWindow(hwnd, value ? (c ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
      return;
    case property::kDisabled:
      (c ? c->disabled : w.disabled) = value != 0;
      if (hwnd) EnableWindow(hwnd, value == 0);
      return;
    case property::kMousePointer:
      (c ? c->mousePointer : w.mousePointer) = value;
      return;
  }
  if (!hwnd) NoNativeWindow();
  if (BackColorNumber(target.kind()) == number) return SetBackColor(target, static_cast<Color>(value));
  if (target.kind() == ControlKind::EditBox && number == property::kEditTextColor) {
    c->textColor = static_cast<Color>(value);
    InvalidateRect(hwnd, nullptr, TRUE);
  } else if (target.kind() == ControlKind::Window && number == property::kWindowKeepActiveFrame) {
    w.keepActiveFrame = value != 0;
  }
}

Text GetControlText(uint32_t windowId, uint32_t controlId, int32_t number) {
  Target target = Resolve(windowId, controlId);
  if (number == property::kTag) return ToText(target.control ? target.control->tag : target.window.tag);
  if (number < 8) return Text();
  if (!target.hwnd()) NoNativeWindow();
  if (target.kind() == ControlKind::EditBox && number == property::kEditContent) return EditContent(target.hwnd());
  return Text();
}

void SetControlProperty(uint32_t windowId, uint32_t controlId, int32_t number, TextView value) {
  Target target = Resolve(windowId, controlId);
  if (number == property::kTag) {
    (target.control ? target.control->tag : target.window.tag) = ToText(value);
    return;
  }
  if (number < 8) return;
  if (!target.hwnd()) NoNativeWindow();
  if (target.kind() == ControlKind::EditBox && number == property::kEditContent) {
    ControlState& edit = *target.control;
    // the native change notification is swallowed; the event is raised once here
    edit.changeSuppressed = true;
    SetWindowTextA(edit.hwnd, value.c_str());
    edit.changeSuppressed = false;
    RaiseEvent(target.window, edit.definition->id, event::kContentChanged);
  }
}

void SetControlProperty(uint32_t windowId, uint32_t controlId, int32_t number, BytesView value) {
  Target target = Resolve(windowId, controlId);
  if (number < 8) return;
  if (!target.hwnd()) NoNativeWindow();
  if (target.kind() == ControlKind::DrawPanel && number == property::kPanelPicture) {
    ControlState& panel = *target.control;
    panel.picture = ToBytes(value);
    panel.decoded.reset();
    panel.decodeTried = false;  // decoded at the next paint
    InvalidateRect(panel.hwnd, nullptr, TRUE);
  }
}

}  // namespace snipora
