#pragma once
// Driving Snipora itself from another process: the Windows version Wine
// reports to it, and the working controls of its main window.
#include <windows.h>

namespace snipora::test {

// Makes Wine report `version` (winxp, win7, win10, ...) to the program file
// named `exe` for as long as this lives.
class ScopedWindowsVersion {
 public:
  explicit ScopedWindowsVersion(const char* version, const char* exe = "Snipora.exe");
  ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
  ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;
  ~ScopedWindowsVersion();

 private:
  char key_[MAX_PATH];
};

struct MainWindowControls {
  HWND address = nullptr, result = nullptr, shorten = nullptr, copy = nullptr;
  bool complete() const { return address && result && shorten && copy; }
};

// The address box (the enabled edit box), the result box (the disabled one)
// and the "缩短" and "复制" buttons of either main window.
MainWindowControls FindMainWindowControls(HWND window);

}  // namespace snipora::test
