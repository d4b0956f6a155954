// Native windows for the definitions: the top-level window class, the drawing
// panel class, the standard controls, and the subclass through which control
// input becomes events.
#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <cstring>
#include <string>

#include "runtime/fatal_error.h"
#include "runtime/forms/form_internal.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/picture/decode_picture.h"
#include "runtime/startup_trace.h"

namespace snipora::forms {
namespace {

constexpr char kWindowClass[] = "SniporaWindow";
constexpr char kPanelClass[] = "SniporaDrawPanel";
constexpr int kFirstControlId = 100;  // above IDOK and IDCANCEL, which the dialog keys send
// The format of the icon images inside an .ico file.
constexpr DWORD kIconFormatVersion = 0x00030000;

WindowState* WindowOf(HWND hwnd) { return reinterpret_cast<WindowState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }
// A window's control by its native window, looked up in the window's own
// list: a window property would cost a request to the window server for
// every colour query and command, and a handful of controls are compared in
// no time. Null for a child that is none of the window's controls.
ControlState* ControlOf(WindowState& window, HWND hwnd) {
  if (!hwnd) return nullptr;
  for (ControlState& control : window.controls)
    if (control.hwnd == hwnd) return &control;
  return nullptr;
}
// A control's state from its user data, where the runtime put it at creation.
ControlState* UserDataOf(HWND hwnd) { return reinterpret_cast<ControlState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

bool Clickable(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::CheckBox || kind == ControlKind::RadioBox;
}

// Group boxes and tabs lie under the controls placed on them.
bool IsBackdrop(ControlKind kind) { return kind == ControlKind::GroupBox || kind == ControlKind::Tab; }

// A shape box is a rectangle in its background colour, outlined in its line colour.
void DrawShape(const ControlState& shape, HDC dc, const RECT& area) {
  FillRect(dc, &area, shape.brush.get());
  const UniqueBrush line = MakeBrush(shape.textColor);
  FrameRect(dc, &area, line.get());
}

int32_t KeyState() {
  return (GetKeyState(VK_CONTROL) < 0 ? kKeyCtrl : 0) | (GetKeyState(VK_SHIFT) < 0 ? kKeyShift : 0) |
         (GetKeyState(VK_MENU) < 0 ? kKeyAlt : 0);
}

// Colours, commands and notifications that controls send to their parent,
// whether that is the window or a drawing panel of it.
bool HandleChildMessage(WindowState& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      ControlState* control = ControlOf(window, reinterpret_cast<HWND>(lParam));
      if (!control) return false;
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, ToColorRef(control->textColor));
      SetBkColor(dc, ToColorRef(control->backColor));
      result = reinterpret_cast<LRESULT>(control->brush.get());
      return true;
    }
    case WM_COMMAND: {
      ControlState* control = ControlOf(window, reinterpret_cast<HWND>(lParam));
      if (!control) return false;
      const WORD code = HIWORD(wParam);
      if (Clickable(control->definition->kind) && code == BN_CLICKED)
        RaiseEvent(*control->window, control->definition->id, event::kClicked);
      else if (control->definition->kind == ControlKind::EditBox && code == EN_CHANGE && !control->changeSuppressed)
        RaiseEvent(*control->window, control->definition->id, event::kContentChanged);
      result = 0;
      return true;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      ControlState* control = ControlOf(window, item.hwndItem);
      if (!control || control->definition->kind != ControlKind::ShapeBox) return false;
      DrawShape(*control, item.hDC, item.rcItem);
      result = TRUE;
      return true;
    }
  }
  return false;
}

// The first focusable control from the end of the definition order.
HWND InitialFocus(WindowState& window) {
  for (auto it = window.controls.rbegin(); it != window.controls.rend(); ++it)
    if (it->hwnd && (it->definition->flags & kTabStop) && IsWindowVisible(it->hwnd) && IsWindowEnabled(it->hwnd))
      return it->hwnd;
  return nullptr;
}

void ReleaseNativeState(WindowState& window) {
  for (ControlState& control : window.controls) {
    control.hwnd = nullptr;
    control.font.reset();
    control.brush.reset();
    control.icon.reset();
    control.decoded.reset();
    control.decodeTried = false;
  }
  window.hwnd = nullptr;
  window.brush.reset();
  window.icon.reset();
  window.smallIcon.reset();
  window.lastFocus = nullptr;
  window.closePending = false;
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* window = WindowOf(hwnd);
  if (message == WM_NCCREATE) {
    window = static_cast<WindowState*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->hwnd = hwnd;
  }
  if (!window) return DefWindowProcA(hwnd, message, wParam, lParam);

  LRESULT result = 0;
  if (HandleChildMessage(*window, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, window->brush.get());
      return 1;
    }
    case WM_PAINT: {
      // also without an erase: a PNG control that has its parent repaint
      // beneath it (invalidated without erasing) must find the background
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      FillRect(dc, &paint.rcPaint, window->brush.get());
      EndPaint(hwnd, &paint);
      MarkStartup("window painted");
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL && lParam == 0) {  // Esc
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
      }
      return 0;  // Enter (IDOK) does nothing
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) window->lastFocus = focus;
      }
      break;
    case WM_SETFOCUS: {
      HWND target = (window->lastFocus && IsWindow(window->lastFocus)) ? window->lastFocus : InitialFocus(*window);
      if (target) SetFocus(target);
      return 0;
    }
    case WM_NCACTIVATE:
      if (window->keepActiveFrame && !wParam && IsWindowEnabled(hwnd))
        return DefWindowProcA(hwnd, WM_NCACTIVATE, TRUE, lParam);
      break;
    case WM_LBUTTONDOWN:
      if (window->definition->dragAnywhere) {
        ReleaseCapture();
        SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
      }
      break;
    case kCloseMessage:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY: {
      ReleaseNativeState(*window);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      bool anyLoaded = false;
      for (WindowState& other : Forms().windows) anyLoaded |= other.hwnd != nullptr;
      if (!anyLoaded && Forms().loopRunning && !Forms().reloading) PostQuitMessage(0);
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK PanelProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ControlState* panel = UserDataOf(hwnd);  // none until CreateControl has set it
  LRESULT result = 0;
  if (panel && HandleChildMessage(*panel->window, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      if (panel) PaintPanelBackground(*panel, dc);
      EndPaint(hwnd, &paint);
      // automatic redraw is off: the application paints in its handler
      if (panel) RaiseEvent(*panel->window, panel->definition->id, event::kPaint);
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Control input becomes events, raised before the control sees it. The
// control's state is in its user data, which the process reads without
// asking the window server: a subclass kept in a window property would cost
// one such request for every message every control receives. Installed as a
// Unicode procedure, it sees the messages as the common controls' subclass
// did before it.
LRESULT CALLBACK ControlSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ControlState* control = UserDataOf(hwnd);
  const WNDPROC previous = control->previousProcedure;
  auto passOn = [&] { return CallWindowProcW(previous, hwnd, message, wParam, lParam); };
  WindowState& window = *control->window;
  const uint32_t id = control->definition->id;
  auto mouse = [&](int32_t number) {
    return RaiseEvent(window, id, number, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), KeyState()});
  };
  switch (message) {
    case WM_LBUTTONDOWN: {
      if (mouse(event::kLeftButtonDown) == 0) return 0;
      if (!IsWindow(hwnd)) return 0;
      if (window.definition->dragAnywhere && control->definition->kind == ControlKind::Label) {
        ReleaseCapture();
        SendMessageA(window.hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
      }
      break;
    }
    case WM_LBUTTONUP:
      if (mouse(event::kLeftButtonUp) == 0) return 0;
      break;
    case WM_LBUTTONDBLCLK:
      if (mouse(event::kDoubleClick) == 0) return 0;
      break;
    case WM_RBUTTONDOWN:
      if (mouse(event::kRightButtonDown) == 0) return 0;
      break;
    case WM_RBUTTONUP:
      if (mouse(event::kRightButtonUp) == 0) return 0;
      break;
    case WM_MOUSEMOVE:
      if (mouse(event::kMouseMove) == 0) return 0;
      break;
    case WM_KEYDOWN:
      if (RaiseEvent(window, id, event::kKeyDown, {int32_t(wParam), KeyState()}) == 0) return 0;
      break;
    case WM_KEYUP:
      if (RaiseEvent(window, id, event::kKeyUp, {int32_t(wParam), KeyState()}) == 0) return 0;
      break;
    case WM_CHAR:
      if (auto replaced = RaiseEvent(window, id, event::kCharacter, {int32_t(wParam)})) {
        if (*replaced == 0) return 0;
        wParam = static_cast<WPARAM>(*replaced);
      }
      break;
    case WM_MOUSEWHEEL:
      if (RaiseEvent(window, id, event::kWheel, {GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA, KeyState()}) == 0)
        return 0;
      break;
    case WM_SETFOCUS: {
      const LRESULT r = passOn();
      RaiseEvent(window, id, event::kFocusGained);
      return r;
    }
    case WM_KILLFOCUS: {
      const LRESULT r = passOn();
      RaiseEvent(window, id, event::kFocusLost);
      return r;
    }
    case WM_ERASEBKGND:
      // neither draws its own background colour: the whole box is filled
      // before the frame, the tabs and the caption are drawn over it
      if (IsBackdrop(control->definition->kind)) {
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, control->brush.get());
        return 1;
      }
      break;
    case WM_SETCURSOR:
      if (control->definition->flags & kHandCursor) {
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return passOn();
}

// No exception may leave a window procedure for the system's frames: what
// the runtime's own work throws (memory for a panel's picture) ends the
// program as its other faults do. Event procedures are caught where they
// are called (RaiseEvent).
template <WNDPROC Procedure>
LRESULT CALLBACK Guarded(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    return Procedure(hwnd, message, wParam, lParam);
  } catch (...) {
    FatalCurrentException();
  }
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
  *reinterpret_cast<LPSTR*>(found) = name;  // ids are small numbers; names outlive only this call
  return IS_INTRESOURCE(name) ? FALSE : TRUE;
}

// The program file's default icon: its first icon group, null when none.
LPSTR ProgramIconGroup() {
  LPSTR first = nullptr;
  EnumResourceNamesA(GetModuleHandleA(nullptr), RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  return first && IS_INTRESOURCE(first) ? first : nullptr;
}

// The program file's default icon in one size.
HICON ProgramIcon(int metricX, int metricY) {
  LPSTR group = ProgramIconGroup();
  if (!group) return nullptr;
  // shared: the class keeps it for the life of the process
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), group, IMAGE_ICON, GetSystemMetrics(metricX),
                                       GetSystemMetrics(metricY), LR_SHARED));
}

void RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXA window{};
    window.cbSize = sizeof window;
    window.style = CS_DBLCLKS;
    window.lpfnWndProc = Guarded<WindowProcedure>;
    window.hInstance = GetModuleHandleA(nullptr);
    window.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window.lpszClassName = kWindowClass;
    // windows without an icon of their own show the program's
    window.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
    window.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
    RegisterClassExA(&window);
    WNDCLASSEXA panel = window;
    panel.hIcon = panel.hIconSm = nullptr;
    panel.style = CS_DBLCLKS | CS_OWNDC;  // GetPanelDC hands out the panel's own DC
    panel.lpfnWndProc = Guarded<PanelProcedure>;
    panel.lpszClassName = kPanelClass;
    RegisterClassExA(&panel);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    return true;
  }();
  (void)registered;
}

// The icon inside an .ico file's bytes that is closest to `size` pixels.
UniqueIcon IconFromFile(std::span<const uint8_t> file, int size) {
  if (file.size() < 6) return UniqueIcon();
  const int count = file[4] | file[5] << 8;
  for (int i = 0; i < count; ++i) {
    const std::size_t entry = 6 + std::size_t(i) * 16;
    if (entry + 16 > file.size()) break;
    const uint32_t bytes = file[entry + 8] | file[entry + 9] << 8 | file[entry + 10] << 16 | uint32_t(file[entry + 11]) << 24;
    const uint32_t offset = file[entry + 12] | file[entry + 13] << 8 | file[entry + 14] << 16 | uint32_t(file[entry + 15]) << 24;
    if (offset > file.size() || bytes > file.size() - offset) continue;
    const int width = file[entry] ? file[entry] : 256;
    const int height = file[entry + 1] ? file[entry + 1] : 256;
    if (size && width != size) continue;
    return UniqueIcon(CreateIconFromResourceEx(const_cast<BYTE*>(file.data() + offset), bytes, TRUE, kIconFormatVersion,
                                               width, height, LR_DEFAULTCOLOR));
  }
  return UniqueIcon();
}

struct NativeKind {
  const char* className;
  DWORD style;
  DWORD exStyle;
};

NativeKind NativeKindOf(const ControlDefinition& d) {
  const DWORD tab = (d.flags & kTabStop) ? WS_TABSTOP : 0;
  switch (d.kind) {
    case ControlKind::EditBox:
      return {"EDIT", ES_LEFT | ES_AUTOHSCROLL | tab, DWORD((d.flags & kSunkenBorder) ? WS_EX_CLIENTEDGE : 0)};
    case ControlKind::Button:
      return {"BUTTON", BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | tab, 0};
    case ControlKind::Label:
      return {"STATIC",
              DWORD(SS_LEFT | SS_NOPREFIX | SS_NOTIFY | ((d.flags & kWordWrap) ? 0 : SS_CENTERIMAGE | SS_LEFTNOWORDWRAP)), 0};
    case ControlKind::DrawPanel:
      return {kPanelClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};  // tabbing reaches the controls inside
    case ControlKind::StatusBar:
      return {STATUSCLASSNAMEA, CCS_BOTTOM, 0};
    case ControlKind::ShapeBox:
      return {"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};  // drawn by DrawShape
    case ControlKind::GroupBox:
      return {"BUTTON", BS_GROUPBOX | WS_CLIPSIBLINGS, 0};
    case ControlKind::CheckBox:
      return {"BUTTON", BS_AUTOCHECKBOX | tab, 0};
    case ControlKind::RadioBox:
      return {"BUTTON", BS_AUTORADIOBUTTON | tab, 0};
    case ControlKind::Tab:
      return {WC_TABCONTROLA, WS_CLIPSIBLINGS | tab, 0};
    default:
      return {"STATIC", SS_NOTIFY, 0};
  }
}

// One tab per line of `names` ("\n" never occurs inside a GBK character).
void AddTabs(HWND tab, const char* names) {
  if (!names) return;
  int index = 0;
  for (const char* line = names; *line;) {
    const char* end = std::strchr(line, '\n');
    const std::size_t length = end ? std::size_t(end - line) : std::strlen(line);
    std::string name(line, length);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = name.data();
    SendMessageA(tab, TCM_INSERTITEMA, index++, reinterpret_cast<LPARAM>(&item));
    if (!end) break;
    line = end + 1;
  }
}

bool CreateControl(WindowState& window, ControlState& control, int index) {
  const ControlDefinition& d = *control.definition;
  HWND parent = window.hwnd;
  if (d.parent)
    if (ControlState* panel = FindControl(window, d.parent); panel && panel->hwnd) parent = panel->hwnd;
  const NativeKind native = NativeKindOf(d);
  // controls defined earlier lie in front: a control never paints over the
  // siblings above it (a label under the About window's pictures, a band
  // under its OK button)
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | native.style | (control.visible ? WS_VISIBLE : 0) |
                (control.disabled ? WS_DISABLED : 0);
  control.brush = MakeBrush(control.backColor);
  const bool textInside = d.kind != ControlKind::StatusBar && d.kind != ControlKind::Tab;
  HWND hwnd = CreateWindowExA(native.exStyle, native.className, textInside ? d.text : "",
                              style, control.left, control.top, control.width, control.height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
                              GetModuleHandleA(nullptr), nullptr);
  if (!hwnd) return false;
  control.hwnd = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
  control.previousProcedure =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Guarded<ControlSubclass>)));
  if (d.font.face) {
    control.font = UniqueFont(CreateFontA(-d.font.height, 0, 0, 0, d.font.weight, FALSE, FALSE, FALSE,
                                          GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, d.font.face));
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(control.font.get()), FALSE);
  }
  if (d.kind == ControlKind::EditBox) SendMessageA(hwnd, EM_LIMITTEXT, 0, 0);  // no length limit
  if (d.kind == ControlKind::StatusBar) {
    // without a theme the status bar takes its background colour
    SetWindowTheme(hwnd, L" ", L" ");
    int parts[] = {-1};
    SendMessageA(hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageA(hwnd, SB_SETBKCOLOR, 0, static_cast<LPARAM>(ToColorRef(control.backColor)));
    control.icon = IconFromFile(d.image, 0);
    if (control.icon) SendMessageA(hwnd, SB_SETICON, 0, reinterpret_cast<LPARAM>(control.icon.get()));
    SendMessageA(hwnd, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(d.text ? d.text : ""));
  }
  // themed, a tab paints its page and a group box its parent's background
  // over the background colour
  if (IsBackdrop(d.kind)) SetWindowTheme(hwnd, L" ", L" ");
  if (d.kind == ControlKind::Tab) AddTabs(hwnd, d.text);
  return true;
}

}  // namespace

void PaintPanelBackground(ControlState& panel, HDC dc) {
  RECT client;
  GetClientRect(panel.hwnd, &client);
  FillRect(dc, &client, panel.brush.get());
  if (!panel.decodeTried && !panel.picture.empty()) {
    panel.decodeTried = true;
    panel.decoded = DecodePicture(panel.picture);
    if (!panel.decoded) panel.picture = Bytes();  // not a picture: nothing to keep
  }
  if (panel.decoded) DrawPicture(dc, *panel.decoded, 0, 0);
}

bool CreateNativeWindow(WindowState& window, HWND owner) {
  RegisterClasses();
  const WindowDefinition& d = *window.definition;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | (d.minimizeBox ? WS_MINIMIZEBOX : 0);
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - window.width) / 2;
  const int y = work.top + (work.bottom - work.top - window.height) / 2;
  window.brush = MakeBrush(window.backColor);
  window.closePending = false;
  HWND hwnd = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kWindowClass, d.title, style, x, y,
                              window.width, window.height, owner, nullptr, GetModuleHandleA(nullptr), &window);
  if (!hwnd) return false;
  MarkStartup("first window made");
  // A window whose own icon is the program's shows it already: the class
  // carries it at both sizes. Set again, the same pixels would only be handed
  // to the window manager once more (under Wine some 80 requests to the
  // window server and the icon's conversion for X, for a window not yet
  // shown).
  if (d.iconResource && MAKEINTRESOURCEA(d.iconResource) != ProgramIconGroup()) {
    auto load = [&](int metricX, int metricY) {
      return UniqueIcon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(d.iconResource),
                                                      IMAGE_ICON, GetSystemMetrics(metricX),
                                                      GetSystemMetrics(metricY), 0)));
    };
    window.icon = load(SM_CXICON, SM_CYICON);
    window.smallIcon = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(window.icon.get()));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(window.smallIcon.get()));
  }
  // panels first, so that the controls inside them have their parent
  int index = 0;
  for (ControlState& control : window.controls) {
    if (!control.definition->parent) CreateControl(window, control, index);
    ++index;
  }
  index = 0;
  for (ControlState& control : window.controls) {
    if (control.definition->parent) CreateControl(window, control, index);
    ++index;
  }
  // under every sibling, and clipped by them: a group box or tab never
  // paints over the controls that lie on it
  for (ControlState& control : window.controls)
    if (control.hwnd && IsBackdrop(control.definition->kind))
      SetWindowPos(control.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}

}  // namespace snipora::forms
