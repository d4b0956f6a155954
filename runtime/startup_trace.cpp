#include "runtime/startup_trace.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "runtime/win_handles.h"

namespace snipora {
namespace {

struct Mark {
  const char* step;
  LONGLONG counter;
};

// No more steps than this are noted: the trace never allocates.
struct Trace {
  bool on = false;
  bool written = false;
  int count = 0;
  Mark marks[24];
  char path[MAX_PATH] = {};
};

Trace& TheTrace() {
  static Trace trace = [] {
    Trace t;
    const DWORD n = GetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", t.path, sizeof t.path);
    t.on = n > 0 && n < sizeof t.path;
    return t;
  }();
  return trace;
}

}  // namespace

void MarkStartup(const char* step) {
  Trace& trace = TheTrace();
  if (!trace.on || trace.count == int(std::size(trace.marks))) return;
  for (int i = 0; i < trace.count; ++i)
    if (std::strcmp(trace.marks[i].step, step) == 0) return;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  trace.marks[trace.count++] = {step, now.QuadPart};
}

void WriteStartupTrace() {
  Trace& trace = TheTrace();
  if (!trace.on || trace.written) return;
  trace.written = true;
  HANDLE opened = CreateFileA(trace.path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  const UniqueKernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  if (!file) return;
  for (int i = 0; i < trace.count; ++i) {
    char line[96];
    const int n = std::snprintf(line, sizeof line, "%s\t%lld\n", trace.marks[i].step, trace.marks[i].counter);
    DWORD written = 0;
    if (n > 0) WriteFile(file.get(), line, DWORD(n), &written, nullptr);
  }
}

}  // namespace snipora
