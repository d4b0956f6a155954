// Start to the first painted main window: Snipora (the classic window as
// Windows 10 shows it, or the glass one as Windows 7 does) against the same
// window written by hand (hand_written/hand_window.cpp) and against a bare
// window exe of the same size that paints once. Each side is started as a new
// process; the clock runs from CreateProcess until a visible top-level window
// of that process and all its child windows have nothing left to paint. The
// window is then closed and the process awaited, off the clock.
//
// Then a few more starts of Snipora and of the hand-written program with
// SNIPORA_STARTUP_TRACE set give the breakdown: when each named step of the
// start was reached, from CreateProcess, as the median over those starts,
// printed as STEP lines (scripts/bench.sh makes a table of them):
//   STEP<TAB>path<TAB>step<TAB>Snipora ms<TAB>hand-written ms   ("-": no such step)
//
//   start_pair.exe classic|glass [rounds]     (default 25, after 2 not counted)
// SNIPORA_BENCH_PROGRAM names the Snipora.exe to start (default: the test
// build's, ..\app\Snipora.exe beside this folder).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

// Milliseconds to the first painted window, or -1 when none came. With a
// trace file, the program's own step marks are added to `steps` (ms from the
// same start).
double TimeToPaintedWindow(const std::string& program, const std::string& arguments,
                           std::map<std::string, double>* steps = nullptr) {
  char trace[MAX_PATH] = {};
  if (steps) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "stp", 0, trace);
    SetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", trace);
  }
  const double start = Now();
  double took = -1;
  {
    ChildProcess child(program, arguments);
    if (steps) SetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", nullptr);
    if (!child.started()) return -1;
    HWND window = nullptr;
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
  }
  if (steps) {
    static const double frequency = [] {
      LARGE_INTEGER f;
      QueryPerformanceFrequency(&f);
      return double(f.QuadPart);
    }();
    std::ifstream file(trace);
    std::string line;
    while (std::getline(file, line)) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      (*steps)[line.substr(0, tab)] = std::stoll(line.substr(tab + 1)) * 1000.0 / frequency - start;
    }
    if (took >= 0) (*steps)["painted, seen from outside"] = took;
    file.close();
    DeleteFileA(trace);
  }
  return took;
}

// The steps both programs note, in the order they are reached.
const char* const kSteps[] = {
    "entry",               // the first line of WinMain
    "skin started",        // Snipora: runtime, program objects, skin start-up; by hand: GDI+ started
    "first window made",   // StartWindow's own window, before its controls
    "StartWindow created", // its controls too
    "banner decoded",      "GlassWindow created", "shown", "message loop", "window painted",
    "banner painted",      "header painted",      "painted, seen from outside",
};

// Median of each step over several traced starts of each program, taking
// turns, the one going first changing every time (as the timed rounds do).
bool PrintBreakdown(const char* path, const std::string& snipora, int starts) {
  std::map<std::string, std::vector<double>> ours, hand;
  for (int i = 0; i < starts; ++i) {
    std::map<std::string, double> a, b;
    auto traceOurs = [&] { return TimeToPaintedWindow(snipora, "", &a) >= 0; };
    auto traceHand = [&] { return TimeToPaintedWindow("hand_window.exe", "", &b) >= 0; };
    if (i % 2 ? !(traceHand() && traceOurs()) : !(traceOurs() && traceHand())) return false;
    for (auto& [step, ms] : a) ours[step].push_back(ms);
    for (auto& [step, ms] : b) hand[step].push_back(ms);
  }
  for (const char* step : kSteps) {
    auto text = [&](std::map<std::string, std::vector<double>>& side) {
      char cell[32] = "-";
      if (side.count(step)) std::snprintf(cell, sizeof cell, "%.2f", Median(side[step]));
      return std::string(cell);
    };
    std::printf("STEP\t%s\t%s\t%s\t%s\n", path, step, text(ours).c_str(), text(hand).c_str());
  }
  std::fflush(stdout);
  return true;
}

std::string SniporaProgram() {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("SNIPORA_BENCH_PROGRAM", path, sizeof path);
  if (n > 0 && n < sizeof path) return path;
  return TestProgramFolder() + "..\\app\\Snipora.exe";
}

}  // namespace

int main(int argc, char** argv) {
  const bool glass = argc > 1 && std::strcmp(argv[1], "glass") == 0;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 25;
  const std::string snipora = SniporaProgram();
  // the main windows' outer sizes, from their definitions
  const char* const bareSize = glass ? "333 287" : "333 318";
  const char* const version = glass ? "win7" : "win10";
  const ScopedWindowsVersion versionForSnipora(version);
  const ScopedWindowsVersion versionForHand(version, "hand_window.exe");
  const Side ours = [&] { return TimeToPaintedWindow(snipora, ""); };
  const Side byHand = [&] { return TimeToPaintedWindow("hand_window.exe", ""); };
  const Side bare = [&] { return TimeToPaintedWindow("bare_window.exe", bareSize); };
  std::vector<std::vector<double>> times;
  if (!RunSides(rounds, 2, {ours, byHand, bare}, times)) {
    std::fprintf(stderr, "a program did not show a painted window, or did not end when closed\n");
    return 1;
  }
  const std::string path = glass ? "glass" : "classic";
  PrintRow(("start to painted window, " + path + ", vs hand-written").c_str(), Pairs{times[0], times[1]}, 1.10);
  PrintRow(("start to painted window, " + path + ", vs bare window").c_str(), Pairs{times[0], times[2]}, std::nullopt);
  if (!PrintBreakdown(path.c_str(), snipora, std::max(3, rounds / 3))) {
    std::fprintf(stderr, "a traced start did not show a painted window, or did not end when closed\n");
    return 1;
  }
  return 0;
}
