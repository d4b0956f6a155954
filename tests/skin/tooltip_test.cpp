// Tooltips: one tooltip window for the process, each window registered once.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "skin/png_control.h"
#include "skin/tooltips.h"
#include "tests/skin/skin_test_window.h"

using namespace snipora;
using snipora::test::PumpFor;
using snipora::test::TestParent;

namespace {

TOOLINFOA Tool(HWND tips, HWND window, std::string* text = nullptr) {
  static char buffer[1024];
  buffer[0] = '\0';
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window;
  tool.uId = 0;
  tool.lpszText = buffer;
  SendMessageA(tips, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool));
  if (text) {
    TOOLINFOA query = tool;
    query.lpszText = buffer;
    SendMessageA(tips, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&query));
    *text = buffer;
  }
  return tool;
}

TEST(ToolTips, OneWindowRegistersEachControlOnceThenUpdatesItsText) {
  TestParent parent(200, 60);
  HWND a = parent.AddChild(0, 0, 60, 30), b = parent.AddChild(100, 0, 60, 30);
  PngControl first, second;
  ASSERT_TRUE(first.Attach(a));
  ASSERT_TRUE(second.Attach(b));
  first.SetToolTip("第一");
  HWND tips = skin::SharedToolTipWindow();
  ASSERT_NE(tips, nullptr);
  char cls[32];
  GetClassNameA(tips, cls, sizeof cls);
  EXPECT_STREQ(cls, "tooltips_class32");
  EXPECT_TRUE(GetWindowLongA(tips, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(SendMessageA(tips, TTM_GETMAXTIPWIDTH, 0, 0), 1024);
  EXPECT_EQ(GetPropA(a, "Vaziz_ToolTips"), reinterpret_cast<HANDLE>(1));

  second.SetToolTip("second", 0);
  EXPECT_EQ(skin::SharedToolTipWindow(), tips);
  EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 2);

  std::string text;
  TOOLINFOA tool = Tool(tips, a, &text);
  EXPECT_EQ(text, "第一");
  EXPECT_EQ(tool.uFlags & (TTF_SUBCLASS | TTF_CENTERTIP | TTF_IDISHWND), UINT(TTF_SUBCLASS));
  EXPECT_EQ(tool.rect.right, 60);
  EXPECT_EQ(tool.rect.bottom, 30);
  tool = Tool(tips, b);
  EXPECT_EQ(tool.uFlags & (TTF_SUBCLASS | TTF_CENTERTIP), UINT(TTF_SUBCLASS | TTF_CENTERTIP));

  // again: the text changes, the tool stays as registered (rectangle, flags)
  SetWindowPos(a, nullptr, 0, 0, 90, 40, SWP_NOMOVE | SWP_NOZORDER);
  first.SetToolTip("第二行\r\nline two", 0);
  EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
  tool = Tool(tips, a, &text);
  EXPECT_EQ(text, "第二行\r\nline two");
  EXPECT_EQ(tool.rect.right, 60);
  EXPECT_EQ(tool.rect.bottom, 30);
  EXPECT_FALSE(tool.uFlags & TTF_CENTERTIP);
}

TEST(ToolTips, TheTipShowsItsTextWhenTheMouseRestsOnTheControl) {
  TestParent parent(200, 60);
  HWND a = parent.AddChild(10, 10, 80, 30);
  PngControl control;
  ASSERT_TRUE(control.Attach(a));
  control.SetToolTip("提示文字");
  HWND tips = skin::SharedToolTipWindow();
  RECT r;
  GetWindowRect(a, &r);
  SetCursorPos(r.left + 20, r.top + 10);
  PumpFor(50);
  SetCursorPos(r.left + 21, r.top + 11);  // a move inside, as a hover gives
  bool shown = false;
  for (int i = 0; i < 60 && !shown; ++i) {
    PumpFor(50);
    shown = IsWindowVisible(tips) != FALSE;
  }
  ASSERT_TRUE(shown);
  char buffer[64] = {};
  TOOLINFOA current{};
  current.cbSize = sizeof current;
  current.lpszText = buffer;
  ASSERT_TRUE(SendMessageA(tips, TTM_GETCURRENTTOOLA, 0, reinterpret_cast<LPARAM>(&current)));
  EXPECT_EQ(current.hwnd, a);
  EXPECT_STREQ(buffer, "提示文字");
  SetCursorPos(0, 0);
  PumpFor(50);
}

}  // namespace
