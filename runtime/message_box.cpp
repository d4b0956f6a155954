#include "runtime/message_box.h"

#include <windows.h>

namespace snipora {

int32_t ShowMessageBox(TextView content, uint32_t flags, std::optional<TextView> title) {
  if (!(flags & MB_SYSTEMMODAL)) flags |= MB_TASKMODAL;
  const int pressed = MessageBoxA(nullptr, content.c_str(), title ? title->c_str() : "信息：", flags);
  switch (pressed) {
    case IDOK: return 0;
    case IDCANCEL: return 1;
    case IDABORT: return 2;
    case IDRETRY: return 3;
    case IDIGNORE: return 4;
    case IDYES: return 5;
    case IDNO: return 6;
    default: return -1;
  }
}

int32_t ShowMessageBox(int32_t content, uint32_t flags, std::optional<TextView> title) {
  return ShowMessageBox(ToText(content), flags, title);
}

}  // namespace snipora
