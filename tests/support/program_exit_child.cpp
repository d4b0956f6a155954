// A program that ends through the test programs' way out in the ways that
// used to hold a process up at its end. Its argument says which:
// - watched: a thread waits on the work's thread, as GoogleTest's watchers do;
// - stuck-thread: a thread of its own never ends;
// - hang-after-mark: reports its result to the runner, then never ends (as a
//   process hung in the platform's exit path would);
// - ends-on-the-way: ends with status 0 in the middle of its work;
// - window: shows a window "ProgramExitChild" and ends 0 when it is closed.
// SNIPORA_TEST_FAILED_STARTS="N FILE" makes it stand in for a program the
// platform fails to start: each start adds a byte to FILE, and the first N
// end with status 1 before the program's own code runs.
#include <windows.h>

#include <cstdlib>
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

// Runs before main's body, like a start that fails in the loader would.
const bool startFailed = [] {
  char value[MAX_PATH + 16];
  const DWORD n = GetEnvironmentVariableA("SNIPORA_TEST_FAILED_STARTS", value, sizeof value);
  if (n == 0 || n >= sizeof value) return false;
  char* file = nullptr;
  const long failures = std::strtol(value, &file, 10);
  while (*file == ' ') ++file;
  HANDLE starts = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (starts == INVALID_HANDLE_VALUE) return false;
  const DWORD before = GetFileSize(starts, nullptr);
  DWORD written = 0;
  WriteFile(starts, "s", 1, &written, nullptr);
  CloseHandle(starts);
  if (long(before) < failures) ExitProcess(1);
  return false;
}();

LRESULT CALLBACK ChildWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wParam, lParam);
}

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
  if (!std::strcmp(argv[1], "ends-on-the-way")) ExitProcess(0);
  if (!std::strcmp(argv[1], "window")) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ChildWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ProgramExitChild";
    RegisterClassA(&windowClass);
    if (!CreateWindowExA(0, "ProgramExitChild", "child", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                         nullptr, windowClass.hInstance, nullptr))
      return 4;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
  }
  return 3;
}

}  // namespace

SNIPORA_PROGRAM_MAIN(ProgramMain)
