#include "skin/tooltips.h"

#include <commctrl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "runtime/system_functions.h"
#include "skin/window_properties.h"

namespace snipora::skin {
namespace {

// The record without the reserved field that common controls 6 added: the
// size every version accepts.
constexpr UINT kToolInfoSize = offsetof(TOOLINFOA, lParam) + sizeof(TOOLINFOA::lParam);
#if defined(__i386__)
static_assert(kToolInfoSize == 44, "the tool record is 44 bytes on 32-bit Windows");
#endif

constexpr LPARAM kMaxTipWidth = 1024;  // wider tips wrap onto further lines

HWND& ToolTipWindow() {
  static HWND window = nullptr;
  return window;
}

}  // namespace

HWND SharedToolTipWindow() { return ToolTipWindow(); }

void SetToolTip(HWND window, TextView text, bool atCursor) {
  HWND& tips = ToolTipWindow();
  if (!tips) {  // tried again at every call while it could not be made
    tips = sys::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    sys::SendMessageA(tips, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
  }
  // a private copy: the control copies the text again for itself
  std::vector<char> copy(text.c_str(), text.c_str() + std::strlen(text.c_str()) + 1);
  TOOLINFOA tool{};
  tool.cbSize = kToolInfoSize;
  tool.hwnd = window;
  tool.uId = 0;
  tool.lpszText = copy.data();
  if (GetProperty(window, prop::kToolTips) == 0) {
    SetProperty(window, prop::kToolTips, 1);
    tool.uFlags = TTF_SUBCLASS | (atCursor ? 0 : TTF_CENTERTIP);
    sys::GetClientRect(window, &tool.rect);
    sys::SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    sys::SendMessageA(tips, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

}  // namespace snipora::skin
