// A library that starts a thread running its own code, as GDI+ starts its
// background thread: for the test that the late-bound table never unloads a
// library a thread may still be running.
#include <windows.h>

#define EXPORT __declspec(dllexport)

namespace {

DWORD WINAPI Work(void* counter) {
  for (;;) {
    InterlockedIncrement(static_cast<volatile LONG*>(counter));
    Sleep(5);
  }
}

}  // namespace

extern "C" {

// The worker counts its rounds in the caller's counter for as long as it runs.
EXPORT BOOL WINAPI StartWorker(volatile LONG* counter) {
  HANDLE thread = CreateThread(nullptr, 0, Work, const_cast<LONG*>(counter), 0, nullptr);
  if (!thread) return FALSE;
  CloseHandle(thread);
  return TRUE;
}
}
