// Stands in for gdiplus.dll beside the load-dialog test: it records, when an
// image is disposed, whether the watched thread had ended and whether the
// watched memory was still there.
#include <windows.h>

namespace {
HANDLE watchedThread = nullptr;
HGLOBAL watchedMemory = nullptr;
int disposals = 0, threadEndedBeforeDispose = 0, memoryAliveAtDispose = 0;
void* lastImage = nullptr;
}  // namespace

extern "C" __declspec(dllexport) void WINAPI StandinWatch(HANDLE thread, HGLOBAL memory) {
  watchedThread = thread;
  watchedMemory = memory;
  disposals = threadEndedBeforeDispose = memoryAliveAtDispose = 0;
  lastImage = nullptr;
}

extern "C" __declspec(dllexport) void WINAPI StandinReport(int* disposed, int* threadEnded, int* memoryAlive,
                                                            void** image) {
  *disposed = disposals;
  *threadEnded = threadEndedBeforeDispose;
  *memoryAlive = memoryAliveAtDispose;
  *image = lastImage;
}

extern "C" __declspec(dllexport) int WINAPI GdipDisposeImage(void* image) {
  ++disposals;
  lastImage = image;
  if (watchedThread && WaitForSingleObject(watchedThread, 0) == WAIT_OBJECT_0) ++threadEndedBeforeDispose;
  if (watchedMemory && GlobalSize(watchedMemory) != 0) ++memoryAliveAtDispose;
  return 0;
}
