// Reaches a window the runtime cannot serve, in the way its argument names.
#include <cstring>

#include "runtime/forms/form_runtime.h"
#include "tests/support/program_exit.h"

using namespace snipora;

namespace {
constexpr uint32_t kLoaded = 0x52000001, kNever = 0x52000002;
const WindowDefinition kWindows[] = {
    {kLoaded, 0x06000001, "loaded", 200, 100, 0xFFFFFF, false, false, false, 0, {}, {}},
    {kNever, 0x06000002, "never", 200, 100, 0xFFFFFF, false, false, false, 0, {}, {}},
};
}  // namespace

static int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 2;
  InstallForms(kWindows);
  LoadWindow(kLoaded);
  if (!std::strcmp(argv[1], "not-loaded")) SetControlProperty(kNever, 0x06000002, property::kVisible, 1);
  if (!std::strcmp(argv[1], "unknown-window")) (void)GetControlProperty(0x52009999, 0x16000001, property::kLeft);
  if (!std::strcmp(argv[1], "loaded")) return GetControlProperty(kLoaded, 0x06000001, property::kWidth) == 200 ? 0 : 1;
  return 3;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
