#pragma once
// What a process holds in memory: for the tests that look for leaks, and for
// memory that a hostile claim must not make the program take.
#include <windows.h>

#include <psapi.h>

namespace snipora::test {

inline PROCESS_MEMORY_COUNTERS MemoryCounters(HANDLE process = GetCurrentProcess()) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(process, &counters, sizeof counters);
  return counters;
}

}  // namespace snipora::test
