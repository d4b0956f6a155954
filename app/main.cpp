// The start routine: the runtime's preparation, the program-wide objects,
// the exit routine, the start-up window and the message loop.
#include <windows.h>

#include <memory>

#include "app/form_ids.h"
#include "app/program.h"
#include "app/window_definitions.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/startup_trace.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace snipora;
  MarkStartup("entry");
  InstallForms(app::ProgramWindows());
  app::PrepareProgram(std::make_unique<SystemHelper>());
  LoadWindow(app::start_window::kWindow);
  return RunMessageLoop();
}
