#include "tests/support/program_exit.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace snipora::test {
namespace {

constexpr DWORD kThreadBudgetMs = 5000;
constexpr const char* kExitMarkVariable = "SNIPORA_EXIT_MARK";

struct Run {
  ProgramBody body;
  int argc;
  char** argv;
  HANDLE finished;
  int result = 1;
};

// The end of the work is signalled, not read from the thread's end: a thread
// that ends detaches from every library under the loader's lock, and that
// can hang where the work itself did not. The thread gets the bounded wait.
DWORD WINAPI RunBody(void* parameter) {
  auto* run = static_cast<Run*>(parameter);
  run->result = run->body(run->argc, run->argv);
  SetEvent(run->finished);
  return 0;
}

// Whether a thread was started at code of this program (not of a system
// library): GoogleTest's watchers are, and they end as soon as the thread
// they watch has. Threads of the platform wait for other things.
void* StartAddress(HANDLE thread) {
  using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  constexpr int kStartAddress = 9;  // ThreadQuerySetWin32StartAddress
  void* start = nullptr;
  if (!query || query(thread, kStartAddress, &start, sizeof start, nullptr) != 0) return nullptr;
  return start;
}

bool InThisProgram(void* address) {
  HMODULE module = nullptr;
  return address &&
         GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module) &&
         module == GetModuleHandleA(nullptr);
}

struct OwnThread {
  HANDLE handle;
  DWORD id;
};

// Waits up to `budgetMs` in all for the program's own other threads to end;
// names on standard error those that have not.
void WaitForOwnThreads(DWORD budgetMs) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  std::vector<OwnThread> own;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    if (InThisProgram(StartAddress(thread)))
      own.push_back({thread, entry.th32ThreadID});
    else
      CloseHandle(thread);
  }
  CloseHandle(snapshot);
  const DWORD start = GetTickCount();
  for (const OwnThread& thread : own) {
    const DWORD spent = GetTickCount() - start;
    if (WaitForSingleObject(thread.handle, spent < budgetMs ? budgetMs - spent : 0) != WAIT_OBJECT_0)
      std::fprintf(stderr,
                   "program exit: thread %lu (started at %p) still runs %lu ms after the program's work ended; "
                   "ending the process without it\n",
                   thread.id, StartAddress(thread.handle), budgetMs);
    CloseHandle(thread.handle);
  }
}

// Taken once, and hidden from the programs this one starts: each program
// answers only for its own end.
std::string TakeExitMark() {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA(kExitMarkVariable, path, MAX_PATH);
  SetEnvironmentVariableA(kExitMarkVariable, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// The mark says "started" while the program runs and then its result: a
// runner can tell a program the platform never started from one that ended
// on the way, and that from one that finished.
void WriteExitMark(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

void RunProgram(ProgramBody body, int argc, char** argv) {
  const std::string exitMark = TakeExitMark();
  WriteExitMark(exitMark, "started\n");
  Run run{body, argc, argv, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE runner = run.finished ? CreateThread(nullptr, 0, RunBody, &run, 0, nullptr) : nullptr;
  if (runner) {
    WaitForSingleObject(run.finished, INFINITE);
    CloseHandle(runner);
  } else {
    run.result = body(argc, argv);
  }
  WaitForOwnThreads(kThreadBudgetMs);
  std::fflush(nullptr);
  WriteExitMark(exitMark, std::to_string(run.result) + "\n");
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(run.result));
  ExitProcess(static_cast<UINT>(run.result));  // not reached
}

}  // namespace snipora::test
