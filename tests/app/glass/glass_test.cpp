// The glass frame where desktop composition is on: a stand-in dwmapi.dll in
// the program's folder says it is, and records what the program asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "artwork.h"
#include "tests/app/artwork_check.h"
#include "tests/support/child_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

TEST(GlassFrame, LayeredWindowWithTheFrameExtended) {
  ScopedWindowsVersion personality("win7");
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string record = std::string(folder) + "snipora-glass-" + std::to_string(GetCurrentProcessId());
  DeleteFileA(record.c_str());
  SetEnvironmentVariableA("SNIPORA_GLASS_RECORD", record.c_str());

  // the copy beside the stand-in
  ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
  ChildProcess& program = *started.process;
  HWND window = started.window;
  ASSERT_NE(window, nullptr);
  // replaced, not combined: only the edge the system keeps for captioned windows remains
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, WS_EX_LAYERED);
  std::ifstream in(record);
  int left = -1, right = -1, top = -1, bottom = -1;
  long exStyle = 0;
  in >> left >> right >> top >> bottom >> exStyle;
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 0);
  EXPECT_EQ(top, 95);
  EXPECT_EQ(bottom, 20);
  EXPECT_EQ(exStyle & ~WS_EX_WINDOWEDGE, WS_EX_LAYERED);  // layered before the frame was extended
  in.close();

  // over the glass the header and footer show as they do without it
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Sleep(300);
  const Panel header = FindPanel(window, -12, 0), footer = FindPanel(window, 2, 240);
  ASSERT_NE(header.hwnd, nullptr);
  ASSERT_NE(footer.hwnd, nullptr);
  EXPECT_EQ(Mismatches(header, ExpectedArtwork(snipora::art::HeaderPngBytes(), header.hwnd)), 0);
  EXPECT_EQ(Mismatches(footer, ExpectedArtwork(snipora::art::FooterPngBytes(), footer.hwnd)), 0);

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.Wait(15000), std::optional<DWORD>(0));
  DeleteFileA(record.c_str());
}

}  // namespace
