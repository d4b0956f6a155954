// Start-up seen from outside: which window the program shows under each
// Windows version, what it holds, and how it ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/app/banner_check.h"
#include "tests/support/child_process.h"
#include "tests/support/program_driver.h"
#include "tests/support/screen_pixels.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

struct Child {
  std::string className, text;
  RECT rect;  // relative to the window's client area
  bool enabled, visible;
  HWND hwnd;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM param) {
  auto* list = reinterpret_cast<std::pair<HWND, std::vector<Child>>*>(param);
  char name[64];
  GetClassNameA(hwnd, name, sizeof name);
  RECT rect;
  GetWindowRect(hwnd, &rect);
  MapWindowPoints(nullptr, list->first, reinterpret_cast<POINT*>(&rect), 2);
  list->second.push_back({name, GetControlText(hwnd), rect, IsWindowEnabled(hwnd) != 0, IsWindowVisible(hwnd) != 0, hwnd});
  return TRUE;
}

std::vector<Child> ChildrenOf(HWND window) {
  std::pair<HWND, std::vector<Child>> list{window, {}};
  EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&list));
  return list.second;
}

const Child* Find(const std::vector<Child>& children, const std::string& cls, const std::string& text, int left,
                  int top) {
  for (const Child& c : children)
    if (c.className == cls && c.text == text && c.rect.left == left && c.rect.top == top) return &c;
  return nullptr;
}

void ExpectControl(const std::vector<Child>& children, const char* cls, const char* text, int left, int top,
                   int width, int height, bool enabled) {
  const Child* c = Find(children, cls, text, left, top);
  ASSERT_NE(c, nullptr) << cls << " \"" << text << "\" at " << left << "," << top;
  EXPECT_EQ(c->rect.right - c->rect.left, width) << text;
  EXPECT_EQ(c->rect.bottom - c->rect.top, height) << text;
  EXPECT_EQ(c->enabled, enabled) << text;
  EXPECT_TRUE(c->visible) << text;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

void ExpectCentred(HWND window, int width, int height) {
  RECT rect, work;
  GetWindowRect(window, &rect);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(rect.right - rect.left, width);
  EXPECT_EQ(rect.bottom - rect.top, height);
  EXPECT_NEAR(rect.left - work.left, work.right - rect.right, 1);
  EXPECT_NEAR(rect.top - work.top, work.bottom - rect.bottom, 1);
}

// Under XP and 10 the classic window shows, with everything in place.
void ExpectClassicWindow(const char* version) {
  ScopedWindowsVersion personality(version);
  ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
  ChildProcess& program = *started.process;
  HWND window = started.window;
  ASSERT_NE(window, nullptr);
  Sleep(200);
  ExpectCentred(window, 333, 318);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  const auto children = ChildrenOf(window);
  ExpectControl(children, "Edit", "请在此输入您的网址", 64, 131, 248, 32, true);
  ExpectControl(children, "Edit", "在此显示缩短网址", 64, 177, 176, 32, false);
  ExpectControl(children, "Button", "缩短", 64, 223, 176, 33, true);
  ExpectControl(children, "Button", "复制", 246, 176, 68, 34, false);
  ExpectControl(children, "Button", "关于", 246, 223, 68, 33, true);
  ExpectControl(children, "Static", "http://", 6, 131, 58, 32, true);
  ExpectControl(children, "Static", "http://", 7, 177, 57, 32, true);
  bool statusBar = false;
  for (const Child& c : children)
    if (c.className == "msctls_statusbar32") {
      statusBar = true;
      EXPECT_EQ(c.text, "欢迎使用Snipora，点此关注我们！");
      RECT client;
      GetClientRect(window, &client);
      EXPECT_EQ(c.rect.bottom, client.bottom);  // docked along the bottom
      EXPECT_EQ(c.rect.right - c.rect.left, client.right);
    }
  EXPECT_TRUE(statusBar);
  const Child* address = Find(children, "Edit", "请在此输入您的网址", 64, 131);
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(FocusOf(window), address->hwnd);

  // the banner, blended over the white background: its part from (36, 1)
  const Child* banner = Find(children, "Static", "dazaru.图片框", -36, -1);
  ASSERT_NE(banner, nullptr);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Sleep(300);
  EXPECT_EQ(BannerMismatches(window, -36, -1, 117), 0);

  // Esc ends the program
  PostMessageA(FocusOf(window), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_EQ(program.Wait(15000), std::optional<DWORD>(0));
}

TEST(Startup, WindowsXpShowsTheClassicWindow) { ExpectClassicWindow("winxp"); }

TEST(Startup, Windows10ShowsTheClassicWindow) { ExpectClassicWindow("win10"); }

TEST(Startup, Windows7ShowsTheGlassWindow) {
  ScopedWindowsVersion personality("win7");
  ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
  ChildProcess& program = *started.process;
  HWND window = started.window;
  ASSERT_NE(window, nullptr);
  Sleep(300);
  ExpectCentred(window, 333, 287);
  // the classic window stays hidden: the glass window is the only one shown
  EXPECT_EQ(WaitForWindow("SniporaWindow", "Snipora", program.id(), 0), window);

  const auto children = ChildrenOf(window);
  ExpectControl(children, "SniporaDrawPanel", "", 0, 95, 328, 144, true);
  ExpectControl(children, "SniporaDrawPanel", "", -12, 0, 333, 88, true);
  ExpectControl(children, "SniporaDrawPanel", "", 2, 240, 318, 22, true);
  // inside the middle panel, 95 pixels down
  ExpectControl(children, "Edit", "请在此输入您的网址", 66, 95 + 9, 248, 32, true);
  ExpectControl(children, "Edit", "在此显示缩短网址", 66, 95 + 55, 176, 32, false);
  ExpectControl(children, "Button", "缩短", 66, 95 + 101, 176, 33, true);
  ExpectControl(children, "Button", "复制", 248, 95 + 54, 68, 34, false);
  ExpectControl(children, "Button", "关于", 248, 95 + 101, 68, 33, true);
  const Child* shorten = Find(children, "Button", "缩短", 66, 95 + 101);
  ASSERT_NE(shorten, nullptr);
  EXPECT_EQ(FocusOf(window), shorten->hwnd);

  // no desktop composition under Wine: the header and footer show their
  // artwork over black bands (header_footer_test.cpp compares the pixels)
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Sleep(200);
  for (const Child& c : children) {
    if (c.className != "SniporaDrawPanel" || c.rect.top == 95) continue;
    const std::vector<uint32_t> shown = ClientPixels(c.hwnd);
    std::size_t black = 0;
    for (uint32_t pixel : shown) black += pixel == 0;
    EXPECT_GT(black, shown.size() / 10) << "panel at " << c.rect.top;  // the band behind the image
    EXPECT_LT(black, shown.size() * 9 / 10) << "panel at " << c.rect.top;  // and the image on it
  }

  // the close box ends the program
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program.Wait(15000), std::optional<DWORD>(0));
}

}  // namespace

// The start-up benchmark's breakdown reads what the program notes of its own
// start: each step once, in the order reached, written when the program ends.
TEST(Startup, TheTraceNotesEachStepOnceInOrder) {
  char folder[MAX_PATH], trace[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "stp", 0, trace);
  ScopedWindowsVersion personality("win7");
  SetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", trace);
  ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
  SetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", nullptr);
  ChildProcess& program = *started.process;
  HWND window = started.window;
  ASSERT_NE(window, nullptr);
  Sleep(500);  // the header's first paint
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(program.Wait(15000), std::optional<DWORD>(0));

  std::vector<std::string> steps;
  long long last = 0;
  std::ifstream file(trace);
  for (std::string line; std::getline(file, line);) {
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const long long counter = std::stoll(line.substr(tab + 1));
    EXPECT_GE(counter, last) << line;
    last = counter;
    steps.push_back(line.substr(0, tab));
  }
  file.close();
  DeleteFileA(trace);
  const std::vector<std::string> beforeTheLoop{"entry",          "skin started",        "first window made",
                                               "StartWindow created", "banner decoded", "GlassWindow created",
                                               "shown",          "message loop"};
  ASSERT_EQ(steps.size(), beforeTheLoop.size() + 2);
  EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 8), beforeTheLoop);
  // the window and its header panel paint in the order their messages come
  std::vector<std::string> paints(steps.begin() + 8, steps.end());
  std::sort(paints.begin(), paints.end());
  EXPECT_EQ(paints, (std::vector<std::string>{"header painted", "window painted"}));
}
