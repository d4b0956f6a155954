// Reaches a window the runtime cannot serve, in the way its argument names,
// or has an event procedure throw.
#include <cstring>
#include <stdexcept>

#include "runtime/forms/form_runtime.h"
#include "tests/support/program_exit.h"

using namespace snipora;

namespace {
constexpr uint32_t kLoaded = 0x52000001, kNever = 0x52000002, kThrowing = 0x52000003, kButton = 0x16000001;

int32_t ThrowStandard(const EventArgs&) { throw std::runtime_error("handler failed"); }
int32_t ThrowOther(const EventArgs&) { throw 7; }

const ControlDefinition kButtons[] = {
    {"按钮1", kButton, ControlKind::Button, 0, 10, 10, 80, 24, "按", {}, 0, kButtonFaceColor, kTabStop},
};
// the button's click throws a standard exception; the window's created event
// throws something else
const EventBinding kThrowingEvents[] = {
    {kButton, event::kClicked, ThrowStandard},
    {0x06000003, event::kCreated, ThrowOther},
};
const EventBinding kClickThrows[] = {kThrowingEvents[0]};

const WindowDefinition kWindows[] = {
    {kLoaded, 0x06000001, "loaded", 200, 100, 0xFFFFFF, false, false, false, 0, kButtons, kClickThrows},
    {kNever, 0x06000002, "never", 200, 100, 0xFFFFFF, false, false, false, 0, {}, {}},
    {kThrowing, 0x06000003, "throwing", 200, 100, 0xFFFFFF, false, false, false, 0, {}, kThrowingEvents},
};
}  // namespace

static int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 2;
  InstallForms(kWindows);
  if (!std::strcmp(argv[1], "created-throws")) LoadWindow(kThrowing);
  LoadWindow(kLoaded);
  if (!std::strcmp(argv[1], "not-loaded")) SetControlProperty(kNever, 0x06000002, property::kVisible, 1);
  if (!std::strcmp(argv[1], "unknown-window")) (void)GetControlProperty(0x52009999, 0x16000001, property::kLeft);
  if (!std::strcmp(argv[1], "loaded")) return GetControlProperty(kLoaded, 0x06000001, property::kWidth) == 200 ? 0 : 1;
  if (!std::strcmp(argv[1], "click-throws")) {
    // clicked as a user would: the handler runs under the message loop's
    // dispatch, inside the window procedures of the button and its window
    PostMessageA(GetWindowHandle(kLoaded, kButton), BM_CLICK, 0, 0);
    return RunMessageLoop();
  }
  return 3;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
