#include "tests/app/soak_driver.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "tests/support/child_process.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/process_memory.h"
#include "tests/support/program_driver.h"
#include "tests/support/ui_driver.h"

namespace snipora::test {
namespace {

struct Memory {
  int64_t workingSet = 0, pagefile = 0;
};

Memory MemoryOf(HANDLE process) {
  const PROCESS_MEMORY_COUNTERS counters = MemoryCounters(process);
  return {int64_t(counters.WorkingSetSize), int64_t(counters.PagefileUsage)};
}

BOOL CALLBACK FindByText(HWND child, LPARAM param) {
  auto* sought = reinterpret_cast<std::pair<const char*, HWND>*>(param);
  if (GetControlText(child) != sought->first) return TRUE;
  sought->second = child;
  return FALSE;
}

HWND ChildWithText(HWND window, const char* text) {
  std::pair<const char*, HWND> sought{text, nullptr};
  EnumChildWindows(window, FindByText, reinterpret_cast<LPARAM>(&sought));
  return sought.second;
}

// The program waits for its last message before memory is read.
void Settle(HWND window) {
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, nullptr);
  Sleep(100);
}

class Session {
 public:
  Session(const char* version, std::string& error) : version_(version) {
    ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 20000);
    program_ = std::move(started.process);
    window_ = started.window;
    if (!window_) error = std::string("no main window under ") + version;
  }
  ~Session() {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    program_->Wait(15000);
  }
  HWND window() const { return window_; }
  DWORD id() const { return program_->id(); }

  // A warm-up, then `count` measured repetitions of `step`; false when a step failed.
  bool Measure(const char* phase, int count, const std::function<bool(int)>& step,
               std::vector<MemoryGrowth>& growth, std::string& error) {
    if (count <= 0) return true;
    const int warmUp = std::max(5, count / 10);
    for (int i = 0; i < warmUp; ++i)
      if (!step(i)) return error = std::string(phase) + ": the warm-up failed", false;
    Settle(window_);
    const Memory before = MemoryOf(program_->handle());
    for (int i = 0; i < count; ++i)
      if (!step(warmUp + i)) return error = std::string(phase) + ": repetition " + std::to_string(i) + " failed", false;
    Settle(window_);
    const Memory after = MemoryOf(program_->handle());
    growth.push_back({phase, count, after.workingSet - before.workingSet, after.pagefile - before.pagefile});
    return true;
  }

 private:
  ScopedWindowsVersion version_;
  std::unique_ptr<ChildProcess> program_;
  HWND window_ = nullptr;
};

}  // namespace

MemoryGrowth BareFetchGrowth(int count, LocalService& service) {
  SetEnvironmentVariableA("http_proxy", service.origin().c_str());
  HINTERNET session = InternetOpenA("Mozilla/4.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  auto get = [&](int i) {
    HINTERNET connection = InternetConnectA(session, kServiceHost, 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const std::string object = "/create.php?source=indexpage&url=http%3A%2F%2Fsoak.example%2Fpage%2F" + std::to_string(i);
    HINTERNET request = HttpOpenRequestA(connection, "GET", object.c_str(), "HTTP/1.0", nullptr, nullptr,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    char piece[65536];
    DWORD got = 0;
    while (InternetReadFile(request, piece, sizeof piece, &got) && got) {
    }
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
  };
  const int warmUp = std::max(5, count / 10);
  for (int i = 0; i < warmUp; ++i) get(i);
  const Memory before = MemoryOf(GetCurrentProcess());
  for (int i = 0; i < count; ++i) get(warmUp + i);
  const Memory after = MemoryOf(GetCurrentProcess());
  InternetCloseHandle(session);
  return {"bare WinINet GETs (platform)", count, after.workingSet - before.workingSet, after.pagefile - before.pagefile};
}

std::vector<MemoryGrowth> RunSoak(const SoakPlan& plan, LocalService& service, std::string& error) {
  SetEnvironmentVariableA("http_proxy", service.origin().c_str());
  std::vector<MemoryGrowth> growth;
  {
    Session classic("win10", error);
    if (!classic.window()) return {};
    const MainWindowControls c = FindMainWindowControls(classic.window());
    HWND about = ChildWithText(classic.window(), "关于");
    if (!c.complete() || !about) return error = "the classic window's controls were not found", std::vector<MemoryGrowth>{};

    auto shorten = [&](int i) {
      SetControlText(c.address, ("soak.example/page/" + std::to_string(i)).c_str());
      SetControlText(c.result, "-");  // a marker any outcome replaces
      Click(c.shorten);
      for (int wait = 0; wait < 1000; ++wait, Sleep(5))
        if (GetControlText(c.result) != "-") return GetControlText(c.result).rfind("snip.invalid/", 0) == 0;
      return false;
    };
    auto openAbout = [&](int) {
      Click(about);
      HWND window = WaitForWindow("SniporaWindow", "关于", classic.id(), 10000);
      if (!window) return false;
      HWND ok = ChildWithText(window, "确定");
      if (!ok) return false;
      Click(ok);
      return WaitForWindowGone(window, 10000);
    };
    auto repaint = [&](int) {
      return RedrawWindow(classic.window(), nullptr, nullptr,
                          RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW) != FALSE;
    };
    if (!classic.Measure("shortenings", plan.shortenings, shorten, growth, error) ||
        !classic.Measure("About openings", plan.abouts, openAbout, growth, error) ||
        !classic.Measure("banner repaints", plan.repaints, repaint, growth, error))
      return {};
  }
  {
    Session glass("win7", error);
    if (!glass.window()) return {};
    auto repaint = [&](int) {
      return RedrawWindow(glass.window(), nullptr, nullptr,
                          RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW) != FALSE;
    };
    if (!glass.Measure("header and footer repaints", plan.repaints, repaint, growth, error)) return {};
  }
  return growth;
}

}  // namespace snipora::test
