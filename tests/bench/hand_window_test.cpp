// The start-up benchmark's hand-written program must show what Snipora
// shows, or its times are no floor: both main windows are taken from the
// screen, Snipora's and the hand-written program's in turn at the same place,
// and compared pixel by pixel, frame and title bar included.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/screen_pixels.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

struct Shot {
  RECT rect{};
  std::vector<uint32_t> pixels;
};

// The main window of `program` as the screen shows it once it has settled.
Shot TakeShot(const char* program, const char* file, const char* windowClass, const char* version) {
  ScopedWindowsVersion personality(version, file);
  ProgramWindow started = StartForWindow(program, "", windowClass, "Snipora", 15000);
  ChildProcess& child = *started.process;
  Shot shot;
  HWND window = started.window;
  if (!window) return shot;
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Sleep(700);  // the banner, header and footer paint after the window
  GetWindowRect(window, &shot.rect);
  shot.pixels = ScreenPixels(shot.rect);
  PostMessageA(window, WM_CLOSE, 0, 0);
  child.Wait(15000);
  return shot;
}

void ExpectSameWindow(const char* version) {
  const std::string snipora = TestProgramFolder() + "..\\app\\Snipora.exe";
  const Shot ours = TakeShot(snipora.c_str(), "Snipora.exe", "SniporaWindow", version);
  const Shot byHand = TakeShot("hand_window.exe", "hand_window.exe", "HandWindow", version);
  ASSERT_FALSE(ours.pixels.empty());
  ASSERT_FALSE(byHand.pixels.empty());
  ASSERT_TRUE(EqualRect(&ours.rect, &byHand.rect));
  // a screen that showed nothing would make any two shots equal
  EXPECT_GT(std::set<uint32_t>(ours.pixels.begin(), ours.pixels.end()).size(), 100u);
  int differing = 0;
  for (std::size_t i = 0; i < ours.pixels.size(); ++i) differing += ColourDistance(ours.pixels[i], byHand.pixels[i]) > 2;
  const double share = 100.0 * differing / double(ours.pixels.size());
  std::printf("%s: %d of %zu pixels differ (%.3f%%)\n", version, differing, ours.pixels.size(), share);
  // the address box's caret blinks: it may be on in one shot and off in the other
  EXPECT_LE(differing, 40);
}

}  // namespace

TEST(HandWindow, ShowsTheClassicWindowAsSniporaDoes) { ExpectSameWindow("win10"); }

TEST(HandWindow, ShowsTheGlassWindowAsSniporaDoes) { ExpectSameWindow("win7"); }
