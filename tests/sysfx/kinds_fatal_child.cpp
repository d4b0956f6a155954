// Walks a list of a window's controls for buttons. "forged": the button's
// entry names its kind by the bare kind number, which still reads as "按钮"
// but is not the button kind code; "listed": the list as the runtime made it.
#include <cstring>

#include "sysfx/control_kinds.h"
#include "tests/support/program_exit.h"

using namespace snipora;

namespace {
constexpr uint32_t kWindow = 0x52000031, kButton = 0x16000031;
const ControlDefinition kControls[] = {
    {"按钮1", kButton, ControlKind::Button, 0, 10, 10, 80, 24, "按", {}, 0, kButtonFaceColor},
};
const WindowDefinition kWindows[] = {
    {kWindow, 0x06000031, "kinds", 200, 100, 0xFFFFFF, false, true, false, 0, kControls, {}},
};
}  // namespace

static int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 2;
  InstallForms(kWindows);
  LoadWindow(kWindow);
  ControlList list = EnumerateControls(kWindow);
  if (ListCount(list) != 1) return 3;
  if (!std::strcmp(argv[1], "forged")) const_cast<int32_t*>(list)[1] = static_cast<int32_t>(ControlKind::Button);
  int prepared = 0;
  ForEachListedOfKind(list, "按钮", ControlKind::Button, [&](const ControlReference&) { ++prepared; });
  return prepared == 1 ? 0 : 4;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
