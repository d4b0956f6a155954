// A program that ends through the test programs' way out in the ways that
// used to hold a process up at its end. Its argument says which:
// - watched: a thread waits on the work's thread, as GoogleTest's watchers do;
// - stuck-thread: a thread of its own never ends;
// - hang-after-mark: reports its result to the runner, then never ends (as a
//   process hung in the platform's exit path would).
#include <windows.h>

#include <cstring>
#include <string>

#include "tests/support/program_exit.h"

namespace {

DWORD WINAPI WaitOnThread(void* thread) {
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return 0;
}

DWORD WINAPI Forever(void*) {
  Sleep(INFINITE);
  return 0;
}

// Read before main: the way out takes the variable from the environment.
const std::string runnerMark = [] {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("SNIPORA_EXIT_MARK", path, MAX_PATH);
  return n < MAX_PATH ? std::string(path, n) : std::string();
}();

void Start(LPTHREAD_START_ROUTINE routine, void* parameter) {
  if (HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr)) CloseHandle(thread);
}

int ProgramMain(int argc, char** argv) {
  if (argc < 2) return 2;
  if (!std::strcmp(argv[1], "watched")) {
    Start(WaitOnThread, OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
    return 5;
  }
  if (!std::strcmp(argv[1], "stuck-thread")) {
    Start(Forever, nullptr);
    return 7;
  }
  if (!std::strcmp(argv[1], "hang-after-mark")) {
    HANDLE file = CreateFileA(runnerMark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "0\n", 2, &written, nullptr);
    CloseHandle(file);
    Sleep(INFINITE);
  }
  return 3;
}

}  // namespace

SNIPORA_PROGRAM_MAIN(ProgramMain)
