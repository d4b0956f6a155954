// The test programs' main: GoogleTest runs on a thread of its own, and the
// process ends only when the program's own other threads have ended.
//
// On Windows GoogleTest starts a watcher thread for each thread that keeps
// per-thread state (a SCOPED_TRACE is enough), and the watcher waits on that
// thread's handle. When such a watcher waits on the main thread as the
// process ends, Wine's own exit path crashes now and then (the process dies
// of SIGSEGV after "[  PASSED  ]"; a plain program whose threads wait on its
// main thread does it too, about 3 times in 100 with eight such threads).
// Here the watchers wait on the runner thread instead: it ends, they wake
// and end normally, and only then does the process end. Threads the
// platform started are not waited for: they wait on other things.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Run {
  HANDLE finished = nullptr;
  int result = 1;
};

DWORD WINAPI RunTests(void* parameter) {
  auto* run = static_cast<Run*>(parameter);
  run->result = RUN_ALL_TESTS();
  SetEvent(run->finished);
  return 0;
}

// Whether a thread was started at code of this program (not of a system
// library): GoogleTest's watchers are, and they end as soon as the runner
// has. Threads of the platform wait for other things and are left alone.
bool StartedInThisProgram(HANDLE thread) {
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  constexpr int kStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  void* start = nullptr;
  if (!query || query(thread, kStartAddress, &start, sizeof start, nullptr) != 0) return false;
  HMODULE module = nullptr;
  return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(start), &module) &&
         module == GetModuleHandleA(nullptr);
}

// Waits (a bounded time) for the program's own other threads to end.
void WaitForOwnThreads(DWORD budgetMs) {
  const ULONGLONG deadline = GetTickCount64() + budgetMs;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<HANDLE> own;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    if (StartedInThisProgram(thread))
      own.push_back(thread);
    else
      CloseHandle(thread);
  }
  CloseHandle(snapshot);
  for (HANDLE thread : own) {
    const ULONGLONG now = GetTickCount64();
    WaitForSingleObject(thread, now < deadline ? DWORD(deadline - now) : 0);
    CloseHandle(thread);
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  Run run;
  run.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE runner = run.finished ? CreateThread(nullptr, 0, RunTests, &run, 0, nullptr) : nullptr;
  if (!runner) return RUN_ALL_TESTS();
  WaitForSingleObject(run.finished, INFINITE);
  CloseHandle(runner);
  WaitForOwnThreads(5000);
  return run.result;
}
