// The glass window's header and footer as the screen shows them in the
// running program: the PNG artwork drawn at 96/90 of its size over the
// panels' black, clipped to the panels.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "artwork.h"
#include "tests/app/artwork_check.h"
#include "tests/support/child_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/screen_pixels.h"
#include "tests/support/ui_driver.h"

namespace snipora {
namespace {

using test::FindPanel;
using test::Mismatches;
using test::Panel;

class GlassHeaderFooter : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ProgramWindow started = test::StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
    program_ = std::move(started.process);
    window_ = started.window;
    ASSERT_NE(window_, nullptr);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    header_ = FindPanel(window_, -12, 0);
    footer_ = FindPanel(window_, 2, 240);
    ASSERT_NE(header_.hwnd, nullptr);
    ASSERT_NE(footer_.hwnd, nullptr);
    headerImage_ = test::ExpectedArtwork(art::HeaderPngBytes(), header_.hwnd);
    footerImage_ = test::ExpectedArtwork(art::FooterPngBytes(), footer_.hwnd);
    Sleep(300);
  }
  void TearDown() override {
    if (!program_) return;
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(program_->Wait(15000), std::optional<DWORD>(0));
  }

  test::ScopedWindowsVersion personality_{"win7"};
  std::unique_ptr<test::ChildProcess> program_;
  HWND window_ = nullptr;
  Panel header_, footer_;
  std::vector<uint32_t> headerImage_, footerImage_;
};

TEST_F(GlassHeaderFooter, ThePanelsShowTheArtworkAtNinetySixNinetiethsOverBlack) {
  // the header's left 12 columns lie outside the window; the image, 355 x 91
  // when drawn, overflows both panels and is cut at their edges
  EXPECT_EQ(header_.visible.left, 12);
  EXPECT_EQ(header_.visible.bottom, 88);
  EXPECT_EQ(Mismatches(header_, headerImage_), 0);
  EXPECT_EQ(Mismatches(footer_, footerImage_), 0);
  // the reference is not all black: the artwork really is there
  int lit = 0;
  for (uint32_t pixel : headerImage_) lit += pixel != 0;
  EXPECT_GT(lit, int(headerImage_.size() / 5));
}

// A plain window of the test's own, to lay over the program's.
LRESULT CALLBACK Magenta(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT all;
    GetClientRect(hwnd, &all);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(reinterpret_cast<HDC>(wParam), &all, brush);
    DeleteObject(brush);
    return 1;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  } while (GetTickCount() < end);
}

TEST_F(GlassHeaderFooter, CoveringAndUncoveringTheWindowShowsThemAgain) {
  WNDCLASSA lidClass{};
  lidClass.lpfnWndProc = Magenta;
  lidClass.hInstance = GetModuleHandleA(nullptr);
  lidClass.lpszClassName = "SniporaTestLid";
  RegisterClassA(&lidClass);
  RECT area;
  GetWindowRect(window_, &area);
  HWND lid = CreateWindowExA(WS_EX_TOPMOST, "SniporaTestLid", "", WS_POPUP | WS_VISIBLE, area.left, area.top,
                             area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(lid, nullptr);
  PumpFor(300);
  EXPECT_EQ(test::ClientPixels(header_.hwnd)[std::size_t(40) * 333 + 150], 0xFF00FFu);  // the lid is in front
  DestroyWindow(lid);
  PumpFor(500);
  EXPECT_EQ(Mismatches(header_, headerImage_), 0);
  EXPECT_EQ(Mismatches(footer_, footerImage_), 0);
}

}  // namespace
}  // namespace snipora
