// Start to the first painted main window: Snipora (the classic window as
// Windows 10 shows it, or the glass one as Windows 7 does) against a bare
// window exe of the same size that paints once. Each side is started as a new
// process; the clock runs from CreateProcess until a visible top-level window
// of that process and all its child windows have nothing left to paint. The
// window is then closed and the process awaited, off the clock.
//
//   start_pair.exe classic|glass [rounds]     (default 15, after 2 not counted)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/paired_runs.h"
#include "tests/support/child_process.h"
#include "tests/support/program_driver.h"

using namespace snipora::bench;
using namespace snipora::test;

namespace {

struct Search {
  DWORD process;
  HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK FindUnpainted(HWND child, LPARAM param) {
  if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

bool Painted(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return false;
  bool unpainted = false;
  EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&unpainted));
  return !unpainted;
}

// Milliseconds to the first painted window, or -1 when none came.
double TimeToPaintedWindow(const std::string& program, const std::string& arguments) {
  const double start = Now();
  ChildProcess child(program, arguments);
  if (!child.started()) return -1;
  HWND window = nullptr;
  double took = -1;
  while (Now() - start < 20000) {
    if (!window) {
      Search search{child.id()};
      EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
      window = search.found;
    }
    if (window && Painted(window)) {
      took = Now() - start;
      break;
    }
    Sleep(1);
  }
  if (window) PostMessageA(window, WM_CLOSE, 0, 0);
  if (!child.Wait(15000)) took = -1;  // a program that does not end is no result
  return took;
}

}  // namespace

int main(int argc, char** argv) {
  const bool glass = argc > 1 && std::strcmp(argv[1], "glass") == 0;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  const std::string snipora = TestProgramFolder() + "..\\app\\Snipora.exe";
  // the main windows' outer sizes, from their definitions
  const char* const bareSize = glass ? "333 287" : "333 318";
  const ScopedWindowsVersion version(glass ? "win7" : "win10");
  const Side ours = [&] { return TimeToPaintedWindow(snipora, ""); };
  const Side platform = [&] { return TimeToPaintedWindow("bare_window.exe", bareSize); };
  Pairs pairs;
  if (!RunPairs(rounds, 2, ours, platform, pairs)) {
    std::fprintf(stderr, "a program did not show a painted window, or did not end when closed\n");
    return 1;
  }
  PrintRow(glass ? "Start to painted window, glass" : "Start to painted window, classic", pairs, 1.20);
  return 0;
}
