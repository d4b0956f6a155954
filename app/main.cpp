// The start routine: the runtime's preparation, the program-wide objects,
// the exit routine, the start-up window and the message loop.
#include <windows.h>

#include <memory>

#include "app/form_ids.h"
#include "app/program.h"
#include "app/window_definitions.h"
#include "runtime/exit_routine.h"
#include "runtime/forms/form_runtime.h"
#include "skin/skin_startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace snipora;
  InstallForms(app::ProgramWindows());
  app::Program& program = app::TheProgram();
  program.startBanner = std::make_unique<PngControl>();
  program.aboutBanner = std::make_unique<PngControl>();
  program.systemHelper = std::make_unique<SystemHelper>();
  RegisterExitRoutine(app::ReleaseGlobals);
  skin::SkinStartup();
  LoadWindow(app::start_window::kWindow);
  return RunMessageLoop();
}
