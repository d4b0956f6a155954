// The test programs' main: GoogleTest runs on a thread of its own, and the
// process ends only when every other thread has ended.
//
// On Windows GoogleTest starts a watcher thread for each thread that keeps
// per-thread state (a SCOPED_TRACE is enough), and the watcher waits on that
// thread's handle. When such a watcher waits on the main thread as the
// process ends, Wine's own exit path crashes now and then (the process dies
// of SIGSEGV after "[  PASSED  ]"; a plain program whose threads wait on its
// main thread does it too, about 3 times in 100 with eight such threads).
// Here the watchers wait on the runner thread instead: it ends, they wake
// and end normally, and only then does the process end.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

DWORD WINAPI RunTests(void*) { return static_cast<DWORD>(RUN_ALL_TESTS()); }

// Waits (a bounded time) for the process's other threads to end.
void WaitForOtherThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<HANDLE> others;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, entry.th32ThreadID)) others.push_back(thread);
  }
  CloseHandle(snapshot);
  for (HANDLE thread : others) {
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  HANDLE runner = CreateThread(nullptr, 0, RunTests, nullptr, 0, nullptr);
  if (!runner) return RUN_ALL_TESTS();
  WaitForSingleObject(runner, INFINITE);
  DWORD result = 1;
  GetExitCodeThread(runner, &result);
  CloseHandle(runner);
  WaitForOtherThreads();
  return static_cast<int>(result);
}
