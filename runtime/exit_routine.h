#pragma once
// The application registers one routine to run when it ends normally.

namespace snipora {

using ExitRoutine = void (*)();

void RegisterExitRoutine(ExitRoutine routine) noexcept;

// Runs the registered routine; later calls do nothing.
void RunExitRoutine() noexcept;

}  // namespace snipora
