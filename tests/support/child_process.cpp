#include "tests/support/child_process.h"

#include <cstdio>

#include "tests/support/ui_driver.h"

namespace snipora::test {

std::string TestProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
  const bool fullPath = program.find_first_of("\\/:") != std::string::npos;
  const std::string path = fullPath ? program : TestProgramFolder() + program;
  std::string commandLine = "\"" + path + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
  }
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

std::optional<DWORD> ChildProcess::Wait(DWORD ms) {
  if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

ProgramWindow StartForWindow(const std::string& program, const std::string& arguments, const char* className,
                             const char* title, DWORD ms) {
  constexpr DWORD kFailedStartMs = 5000;  // a failed start ends within about a second
  ProgramWindow started;
  for (int attempt = 1;; ++attempt) {
    started.process = std::make_unique<ChildProcess>(program, arguments);
    const ULONGLONG start = GetTickCount64();
    std::optional<DWORD> ended;
    while (started.process->started() && !started.window && GetTickCount64() - start < ms &&
           !(ended = started.process->Wait(0)))
      started.window = WaitForWindow(className, title, started.process->id(), 100);
    if (started.window || attempt == 2 || ended != std::optional<DWORD>(1) ||
        GetTickCount64() - start > kFailedStartMs)
      return started;
    std::fprintf(stderr,
                 "StartForWindow: %s ended with status 1 before showing its window (the platform did not start "
                 "it); starting it again\n",
                 program.c_str());
  }
}

}  // namespace snipora::test
