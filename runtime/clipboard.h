#pragma once
// Plain text (CF_TEXT) onto the clipboard.
#include <windows.h>

#include "runtime/text.h"

namespace snipora {

// The system calls SetClipboardText makes; tests stand in for them to stage a
// busy clipboard or a failed allocation, which Wine cannot stage for real.
struct ClipboardApi {
  BOOL(WINAPI* open)(HWND owner);
  BOOL(WINAPI* empty)();
  HGLOBAL(WINAPI* allocate)(UINT flags, SIZE_T bytes);
  HANDLE(WINAPI* hand_over)(UINT format, HANDLE data);
  BOOL(WINAPI* close)();
};
const ClipboardApi& SystemClipboard();

// False when the clipboard cannot be opened or the block not allocated (the
// clipboard is then left empty).
bool SetClipboardText(TextView text, const ClipboardApi& api = SystemClipboard());

}  // namespace snipora
