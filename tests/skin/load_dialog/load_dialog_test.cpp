// The load-dialog window class: what a window frees when it is destroyed, in
// which order, and dragging by the client area. GDI+ is a stand-in here.
#include "skin/load_dialog.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "tests/skin/skin_test_window.h"

using namespace snipora;
using snipora::test::PumpFor;

namespace {

using Watch = void(WINAPI*)(HANDLE, HGLOBAL);
using Report = void(WINAPI*)(int*, int*, int*, void**);

class LoadDialog : public testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = (skin::RegisterLoadDialogClass(), true);
    (void)registered;
    // the one beside this program, by its path, as the late-bound loader finds it
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    standin = LoadLibraryA((folder.substr(0, folder.find_last_of('\\')) + "\\gdiplus.dll").c_str());
    ASSERT_NE(standin, nullptr);
    watch = reinterpret_cast<Watch>(reinterpret_cast<void*>(GetProcAddress(standin, "StandinWatch")));
    report = reinterpret_cast<Report>(reinterpret_cast<void*>(GetProcAddress(standin, "StandinReport")));
    ASSERT_TRUE(watch && report) << "not the stand-in gdiplus.dll";
  }
  static HWND Make() {
    return CreateWindowExA(0, skin::kLoadDialogClass, "load", WS_POPUP | WS_VISIBLE, 300, 300, 200, 150, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  HMODULE standin = nullptr;
  Watch watch = nullptr;
  Report report = nullptr;
};

DWORD WINAPI Spin(void*) {
  for (;;) Sleep(1);
}

TEST_F(LoadDialog, DestroyStopsTheThreadThenDisposesTheImageThenFreesTheMemory) {
  HWND window = Make();
  ASSERT_NE(window, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr);
  HANDLE watched = nullptr;
  DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &watched, 0, FALSE, DUPLICATE_SAME_ACCESS);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 64);
  void* const image = reinterpret_cast<void*>(0x1000);
  SetPropA(window, "Vaziz_Thread", thread);
  SetPropA(window, "Vaziz_Image", image);
  SetPropA(window, "Vaziz_Stream", memory);
  watch(watched, memory);

  DestroyWindow(window);
  int disposed = 0, threadEnded = 0, memoryAlive = 0;
  void* seen = nullptr;
  report(&disposed, &threadEnded, &memoryAlive, &seen);
  EXPECT_EQ(disposed, 1);
  EXPECT_EQ(seen, image);
  EXPECT_EQ(threadEnded, 1);  // stopped before the image went
  EXPECT_EQ(memoryAlive, 1);  // freed only after it
  EXPECT_EQ(GlobalSize(memory), 0u);
  DWORD code = STILL_ACTIVE;
  GetExitCodeThread(watched, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(GetHandleInformation(thread, &code));  // the window closed its handle
  CloseHandle(watched);
}

TEST_F(LoadDialog, OnlyWhatIsThereIsReleased) {
  HWND window = Make();
  ASSERT_NE(window, nullptr) << GetLastError();
  void* const image = reinterpret_cast<void*>(0x2000);
  SetPropA(window, "Vaziz_Image", image);
  watch(nullptr, nullptr);
  DestroyWindow(window);
  int disposed = 0, threadEnded = 0, memoryAlive = 0;
  void* seen = nullptr;
  report(&disposed, &threadEnded, &memoryAlive, &seen);
  EXPECT_EQ(disposed, 1);
  EXPECT_EQ(seen, image);

  watch(nullptr, nullptr);
  DestroyWindow(Make());  // nothing at all: only the default procedure
  report(&disposed, &threadEnded, &memoryAlive, &seen);
  EXPECT_EQ(disposed, 0);
}

void MouseTo(int x, int y, DWORD extra = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | extra;
  SendInput(1, &input, sizeof input);
}

// Presses in the client area and drags by (40, 30); answers where the window went.
POINT DragBy40And30(HWND window) {
  RECT before;
  GetWindowRect(window, &before);
  const int x = before.left + 60, y = before.top + 50;
  std::thread hand([&] {
    Sleep(100);
    MouseTo(x, y);
    Sleep(50);
    MouseTo(x, y, MOUSEEVENTF_LEFTDOWN);
    for (int step = 1; step <= 4; ++step) {
      Sleep(60);
      MouseTo(x + 10 * step, y + 7 * step + (step == 4 ? 2 : 0));
    }
    Sleep(100);
    MouseTo(x + 40, y + 30, MOUSEEVENTF_LEFTUP);
  });
  PumpFor(1200);
  hand.join();
  PumpFor(100);
  RECT after;
  GetWindowRect(window, &after);
  return {after.left - before.left, after.top - before.top};
}

TEST_F(LoadDialog, HitMoveOneDragsByTheClientArea) {
  HWND window = Make();
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  PumpFor(100);
  const POINT none = DragBy40And30(window);
  EXPECT_EQ(none.x, 0);
  EXPECT_EQ(none.y, 0);
  SetPropA(window, "VazizHitMove", reinterpret_cast<HANDLE>(2));
  const POINT two = DragBy40And30(window);
  EXPECT_EQ(two.x, 0);
  EXPECT_EQ(two.y, 0);
  SetPropA(window, "VazizHitMove", reinterpret_cast<HANDLE>(1));
  const POINT one = DragBy40And30(window);
  EXPECT_EQ(one.x, 40);
  EXPECT_EQ(one.y, 30);
  DestroyWindow(window);
}

}  // namespace
