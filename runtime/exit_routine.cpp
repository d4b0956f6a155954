#include "runtime/exit_routine.h"

namespace snipora {
namespace {
ExitRoutine registered = nullptr;
}

void RegisterExitRoutine(ExitRoutine routine) noexcept { registered = routine; }

void RunExitRoutine() noexcept {
  ExitRoutine routine = registered;
  registered = nullptr;  // exactly once, even if the routine ends the loop again
  if (routine) routine();
}

}  // namespace snipora
