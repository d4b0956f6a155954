#pragma once
// A program started by a test; killed if the test leaves it running.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace snipora::test {

// The folder of the running test program, with a trailing backslash.
std::string TestProgramFolder();

class ChildProcess {
 public:
  // `program` is looked up beside the test program unless it is a full path;
  // `arguments` are appended to the command line as they are.
  ChildProcess(const std::string& program, const std::string& arguments);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  bool started() const { return process_ != nullptr; }
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_; }
  // The exit code, or nothing if the program is still running after `ms`.
  std::optional<DWORD> Wait(DWORD ms);

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// A program started for its main window (class and title as WaitForWindow
// takes them), waited for up to `ms`; `window` is null when none came.
struct ProgramWindow {
  std::unique_ptr<ChildProcess> process;
  HWND window = nullptr;
};
// Under Wine a new process now and then ends with status 1 before the
// program's first line runs (scripts/wine-run.sh retries those it runs). A
// program that ends so, without its window, within its first seconds is
// started once more, and standard error says so.
ProgramWindow StartForWindow(const std::string& program, const std::string& arguments, const char* className,
                             const char* title, DWORD ms);

}  // namespace snipora::test
