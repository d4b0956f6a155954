// The main windows' handlers through the runtime, in this process: the
// placeholder, the text colours and the state table of shortening.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "app/form_ids.h"
#include "app/program.h"
#include "app/window_definitions.h"
#include "runtime/forms/form_runtime.h"
#include "tests/sysfx/fake_version_source.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/ui_driver.h"

namespace snipora::app {
namespace {

namespace s = start_window;
namespace g = glass_window;

test::LocalService& Service() {
  // one service for the process: the fetch session reads the proxy setting once
  static test::LocalService service;
  return service;
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

struct Window {
  uint32_t window, address, result, copy, shorten;
};
constexpr Window kStart{s::kWindow, s::kAddressBox, s::kResultBox, s::kCopy, s::kShorten};
constexpr Window kGlass{g::kWindow, g::kAddressBox, g::kResultBox, g::kCopy, g::kShorten};

class MainWindowHandlers : public ::testing::TestWithParam<bool> {  // true: the glass window
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("http_proxy", Service().origin().c_str());
    // XP shows the classic window; 7 the glass one, loaded modally from the
    // classic window's created handler, so it is loaded here directly
    version_.record = testing::MakeRecord(2, 5, 1, "", 0x100, 1);
    InstallForms(ProgramWindows());
    PrepareProgram(std::make_unique<SystemHelper>(version_));
    w_ = GetParam() ? kGlass : kStart;
    ASSERT_TRUE(LoadWindow(w_.window));
    Pump();
  }
  void TearDown() override {
    for (uint32_t id : {s::kWindow, g::kWindow})
      if (HWND h = GetWindowHandle(id, id)) DestroyWindow(h);
    Pump();
    ReleaseGlobals();
  }

  std::string Address() { return GetControlText(w_.window, w_.address, property::kEditContent).c_str(); }
  int32_t AddressColour() { return GetControlProperty(w_.window, w_.address, property::kEditTextColor); }
  std::string Result() { return GetControlText(w_.window, w_.result, property::kEditContent).c_str(); }
  bool CopyEnabled() { return GetControlProperty(w_.window, w_.copy, property::kDisabled) == 0; }
  HWND Native(uint32_t control) { return GetWindowHandle(w_.window, control); }

  void Press() {
    SendMessageA(Native(w_.address), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(Native(w_.address), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  void LeaveBox() {
    SetFocus(Native(w_.address));
    SetFocus(Native(w_.shorten));
  }
  // Clicks "缩短"; a box the click shows is answered from another thread
  // and its text returned.
  std::string Shorten() {
    std::string boxText;
    std::thread answerer([&] {
      if (HWND box = test::WaitForMessageBox(GetCurrentProcessId(), "提示", 3000)) {
        boxText = test::ReadMessageBox(box).text;
        test::AnswerMessageBox(box);
      }
    });
    SendMessageA(Native(w_.shorten), BM_CLICK, 0, 0);
    answerer.join();
    Pump();
    return boxText;
  }

  testing::FakeVersionSource version_;
  Window w_{};
};

TEST_P(MainWindowHandlers, FreshWindow) {
  EXPECT_EQ(Address(), kPlaceholder);
  EXPECT_EQ(AddressColour(), 0x808080);
  EXPECT_EQ(Result(), "在此显示缩短网址");
  EXPECT_FALSE(CopyEnabled());
}

TEST_P(MainWindowHandlers, PlaceholderGoesOnPressAndComesBackWhenLeftEmpty) {
  Press();
  EXPECT_EQ(Address(), "");
  EXPECT_EQ(AddressColour(), 0x000000);  // black again on the change
  LeaveBox();
  EXPECT_EQ(Address(), kPlaceholder);
  EXPECT_EQ(AddressColour(), 0x808080);

  SetControlProperty(w_.window, w_.address, property::kEditContent, TextView("   "));
  LeaveBox();
  EXPECT_EQ(Address(), "   ");  // only the empty text counts as empty
  SetControlProperty(w_.window, w_.address, property::kEditContent, TextView("x.cn"));
  Press();
  EXPECT_EQ(Address(), "x.cn");
  EXPECT_EQ(AddressColour(), 0x000000);
}

TEST_P(MainWindowHandlers, TabbingInKeepsThePlaceholder) {
  SetFocus(Native(w_.shorten));
  SetFocus(Native(w_.address));
  EXPECT_EQ(Address(), kPlaceholder);
}

TEST_P(MainWindowHandlers, ShortenedThenShortenedWithEmptyBox) {
  Press();
  SetControlProperty(w_.window, w_.address, property::kEditContent, TextView("example.com/x"));
  EXPECT_EQ(Shorten(), "");
  EXPECT_EQ(Result().rfind("snip.invalid/", 0), 0u) << Result();
  EXPECT_TRUE(CopyEnabled());

  Service().ClearRequests();
  SetControlProperty(w_.window, w_.address, property::kEditContent, TextView(""));
  EXPECT_EQ(Shorten(), "");  // nothing to shorten is no failure
  EXPECT_EQ(Result(), "");
  EXPECT_FALSE(CopyEnabled());
}

TEST_P(MainWindowHandlers, PlaceholderCountsAsAnEmptyBox) {
  Service().ClearRequests();
  EXPECT_EQ(Shorten(), "");
  EXPECT_EQ(Result(), "");
  EXPECT_FALSE(CopyEnabled());
  for (const std::string& request : Service().requests())
    EXPECT_EQ(request.find("%E8%AF%B7"), std::string::npos);  // 请: the placeholder was never sent
}

TEST_P(MainWindowHandlers, PagesWithoutTheShortAddressAreAFailure) {
  Press();
  SetControlProperty(w_.window, w_.address, property::kEditContent, TextView("example.com/y"));
  for (const char* page : {"<html>no markers</html>",
                           "</b><br><small>[<a href=\"http://snip.invalid/abc",  // no end marker
                           "\" target=\"_blank\">Open in new window</a>]</small></blockquote>"}) {
    Service().SetBehaviour({.body = std::string(page)});
    EXPECT_EQ(Shorten(), "缩短失败，请检查网址和网络连接后重试！") << page;
    EXPECT_EQ(Result(), "") << page;
    EXPECT_FALSE(CopyEnabled()) << page;
  }
  Service().SetBehaviour({.nulBytes = true});  // the page ends at its first zero byte
  EXPECT_EQ(Shorten(), "缩短失败，请检查网址和网络连接后重试！");
  Service().SetBehaviour({});
  EXPECT_EQ(Shorten(), "");
  EXPECT_TRUE(CopyEnabled());
}

INSTANTIATE_TEST_SUITE_P(Windows, MainWindowHandlers, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? std::string("Glass") : std::string("Classic"); });

}  // namespace
}  // namespace snipora::app

namespace snipora::app {
namespace {

// Every control of the program's windows, as the runtime built it: the
// definition's font (face, pixel height, weight, GB2312), colours and states.
TEST(WindowDefinitions, ControlsAreBuiltAsDefined) {
  ::snipora::testing::FakeVersionSource xp;
  xp.record = ::snipora::testing::MakeRecord(2, 5, 1, "", 0x100, 1);
  InstallForms(ProgramWindows());
  PrepareProgram(std::make_unique<SystemHelper>(xp));
  for (const WindowDefinition& window : ProgramWindows()) {
    ASSERT_TRUE(LoadWindow(window.id)) << window.title;
    for (const ControlDefinition& control : window.controls) {
      SCOPED_TRACE(std::string(window.title) + " " + control.name);
      HWND hwnd = GetWindowHandle(window.id, control.id);
      ASSERT_NE(hwnd, nullptr);
      EXPECT_EQ(IsWindowEnabled(hwnd) != 0, !(control.flags & kDisabled));
      EXPECT_EQ((GetWindowLongA(hwnd, GWL_STYLE) & WS_TABSTOP) != 0, (control.flags & kTabStop) != 0);
      if (control.kind != ControlKind::StatusBar) {
        EXPECT_EQ(GetControlProperty(window.id, control.id, property::kLeft), control.left);
        EXPECT_EQ(GetControlProperty(window.id, control.id, property::kTop), control.top);
        EXPECT_EQ(GetControlProperty(window.id, control.id, property::kWidth), control.width);
        EXPECT_EQ(GetControlProperty(window.id, control.id, property::kHeight), control.height);
      }
      if (!control.font.face) continue;
      LOGFONTA font{};
      ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font));
      EXPECT_STREQ(font.lfFaceName, control.font.face);
      EXPECT_EQ(font.lfHeight, -control.font.height);
      EXPECT_EQ(font.lfWeight, control.font.weight);
      EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    }
    DestroyWindow(GetWindowHandle(window.id, window.id));
    Pump();
  }
  ReleaseGlobals();
}

}  // namespace
}  // namespace snipora::app
