// Registered as the prefix's handler for http: and mailto: by the tests. It
// records its verb (first argument), the show mode it was started with and its
// whole command line into the file named by SNIPORA_SHELL_RECORD.
#include <windows.h>

#include <string>

#include "tests/support/program_exit.h"

static int ProgramMain(int argc, char** argv) {
  char path[MAX_PATH];
  if (argc < 2 || !GetEnvironmentVariableA("SNIPORA_SHELL_RECORD", path, MAX_PATH)) return 2;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  const std::string record = std::string(argv[1]) + "\n" + std::to_string(show) + "\n" + GetCommandLineA();
  // written whole under a temporary name, then renamed: readers never see half
  const std::string partial = std::string(path) + ".partial";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);
  return MoveFileExA(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
