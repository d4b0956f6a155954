#include "tests/support/ui_driver.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace snipora::test {
namespace {

std::string WindowText(HWND window) {
  char buffer[4096];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  return std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

std::string ClassOf(HWND window) {
  char name[256];
  const int n = GetClassNameA(window, name, sizeof name);
  return std::string(name, n > 0 ? n : 0);
}

struct Search {
  const char* className;
  const char* title;
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
  }
  if (search->className && ClassOf(window) != search->className) return TRUE;
  if (search->title && WindowText(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

// Screen pixels of a window's client area, as 0x00RRGGBB rows.
std::vector<COLORREF> Capture(HWND window, int& width, int& height) {
  RECT rect;
  GetClientRect(window, &rect);
  width = rect.right;
  height = rect.bottom;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> pixels;
  pixels.reserve(std::size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(screen, origin.x + x, origin.y + y));
  ReleaseDC(nullptr, screen);
  return pixels;
}

// How far a standard icon drawn on `background` is from the captured pixels.
long long IconDistance(LPCSTR iconId, const std::vector<COLORREF>& captured, int width, int height) {
  HICON icon = LoadIconA(nullptr, iconId);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH background = CreateSolidBrush(captured[0]);
  RECT all{0, 0, width, height};
  FillRect(memory, &all, background);
  DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  long long distance = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const COLORREF a = GetPixel(memory, x, y), b = captured[std::size_t(y) * width + x];
      distance += std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
                  std::abs(GetBValue(a) - GetBValue(b));
    }
  DeleteObject(background);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return distance;
}

// Another process's icon handle cannot be read here, so the icon is told by
// drawing each standard one and comparing with what the screen shows.
BoxIcon ClassifyIcon(HWND iconStatic) {
  int width = 0, height = 0;
  const auto captured = Capture(iconStatic, width, height);
  if (captured.empty()) return BoxIcon::Unknown;
  const std::pair<LPCSTR, BoxIcon> candidates[] = {{IDI_HAND, BoxIcon::Error},
                                                   {IDI_EXCLAMATION, BoxIcon::Warning},
                                                   {IDI_ASTERISK, BoxIcon::Information},
                                                   {IDI_QUESTION, BoxIcon::Question}};
  BoxIcon best = BoxIcon::Unknown;
  long long bestDistance = -1;
  for (const auto& [id, icon] : candidates) {
    const long long d = IconDistance(id, captured, width, height);
    if (bestDistance < 0 || d < bestDistance) bestDistance = d, best = icon;
  }
  // allow a little blending noise, never a different picture
  return bestDistance <= 8LL * width * height ? best : BoxIcon::Unknown;
}

}  // namespace

HWND WaitForWindow(const char* className, const char* title, DWORD processId, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    Search search{className, title, processId};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(20);
  }
}

bool WaitForWindowGone(HWND window, DWORD ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(20);
  }
  return true;
}

HWND WaitForMessageBox(DWORD processId, const char* title, DWORD ms) {
  return WaitForWindow("#32770", title, processId, ms);
}

MessageBoxInfo ReadMessageBox(HWND box) {
  MessageBoxInfo info;
  info.title = WindowText(box);
  info.owner = GetWindow(box, GW_OWNER);
  info.exStyle = GetWindowLongA(box, GWL_EXSTYLE);
  if (HWND text = GetDlgItem(box, 0xFFFF)) info.text = WindowText(text);
  // settle the first paint before the icon is read off the screen
  SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  Sleep(100);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string cls = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
      info.icon = ClassifyIcon(child);
    else if (cls == "Button" && IsWindowVisible(child))
      info.buttons.emplace_back(GetDlgCtrlID(child), WindowText(child));
  }
  return info;
}

void AnswerMessageBox(HWND box, int buttonId) { PostMessageA(box, WM_COMMAND, buttonId, 0); }

std::string GetControlText(HWND control) { return WindowText(control); }

void SetControlText(HWND control, const char* text) {
  SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                      nullptr);
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

std::optional<std::string> ReadClipboardText() {
  for (int attempt = 0; !OpenClipboard(nullptr); ++attempt) {
    if (attempt == 50) return std::nullopt;
    Sleep(20);
  }
  std::optional<std::string> text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
      const SIZE_T size = GlobalSize(data);
      text = std::string(bytes, strnlen(bytes, size));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

}  // namespace snipora::test
