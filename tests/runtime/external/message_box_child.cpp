// Shows one message box chosen by its argument, beside a window of its own (to
// show whether the box disables the task's windows); exits with the result.
#include <windows.h>

#include <cstring>

#include "runtime/message_box.h"
#include "tests/support/program_exit.h"

using namespace snipora;

static int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 100;
  HWND other = CreateWindowExA(0, "STATIC", "snipora-message-box-child", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
  const char* mode = argv[1];
  int32_t result = 100;
  if (!std::strcmp(mode, "information")) result = ShowMessageBox("复制成功！", 0x40, TextView("提示"));
  if (!std::strcmp(mode, "number")) result = ShowMessageBox(-12345, MB_OKCANCEL | MB_ICONQUESTION);
  if (!std::strcmp(mode, "yes-no")) result = ShowMessageBox("继续？", MB_YESNO, TextView("问题"));
  if (!std::strcmp(mode, "abort-retry-ignore")) result = ShowMessageBox("出错", MB_ABORTRETRYIGNORE, TextView("x"));
  if (!std::strcmp(mode, "system-modal")) result = ShowMessageBox("系统", MB_SYSTEMMODAL | MB_ICONWARNING, TextView("y"));
  DestroyWindow(other);
  return result;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
