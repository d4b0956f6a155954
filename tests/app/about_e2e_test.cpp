// The About window and the author links, end to end: the real program opened
// under Windows personalities, its status picture served by the local service
// (reached through the proxy setting) and its links opened in a recorder
// registered as the prefix's web and mail handler.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "app/service_config.h"
#include "artwork.h"
#include "gdiplus/image_from_bytes.h"
#include "runtime/system_functions.h"
#include "tests/app/banner_check.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/support/child_process.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/local_service/service_answers.h"
#include "tests/support/program_driver.h"
#include "tests/support/screen_pixels.h"
#include "tests/support/shell_recording.h"
#include "tests/support/ui_driver.h"

using namespace snipora;
using namespace snipora::test;

namespace {

const std::string kStatusRequest = std::string("GET http://") + app::kImGatewayHost + ":80/pa?p=2:" +
                                   app::kImNumber + ":44%20&r=0.46193257080439387 HTTP/1.0";

struct Search {
  HWND window;
  const char* cls;  // null: any class
  POINT at;         // client position; ignored without a class
  const char* text;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (s->cls) {
    char name[64];
    GetClassNameA(child, name, sizeof name);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, s->window, reinterpret_cast<POINT*>(&r), 2);
    if (std::string(name) != s->cls || r.left != s->at.x || r.top != s->at.y) return TRUE;
  }
  if (s->text && GetControlText(child) != s->text) return TRUE;
  s->found = child;
  return FALSE;
}

// The child of `window` with this class (and text, when given) whose top-left
// corner is at client (left, top).
HWND ChildAt(HWND window, const char* cls, int left, int top, const char* text = nullptr) {
  Search search{window, cls, {left, top}, text};
  EnumChildWindows(window, Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ChildWithText(HWND window, const char* text) {
  Search search{window, nullptr, {}, text};
  EnumChildWindows(window, Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

void Press(HWND control) {
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

std::vector<uint32_t> ControlPixels(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  return ScreenPixels(r);
}

// A picture file as GDI+ decodes it, over `background`, in a w x h area.
std::vector<uint32_t> Decoded(std::span<const unsigned char> file, int w, int h, uint32_t background) {
  GdiplusSession gdiplus;
  GpImage* image = LoadImageFromBytes(ToBytes(file), &kFrameDimensionTime);
  if (!image) return {};
  auto pixels = DrawImage(image, w, h, background);
  sys::GdipDisposeImage(image);
  return pixels;
}

int Mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += ColourDistance(a[i], b[i]) > 2;
  return n;
}

uint32_t ButtonFace() {
  const COLORREF c = GetSysColor(COLOR_BTNFACE);
  return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

class AboutWindow : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NE(service_.port(), 0);
    SetEnvironmentVariableA("http_proxy", service_.origin().c_str());
    version_ = std::make_unique<ScopedWindowsVersion>(GetParam());
    ProgramWindow started = StartForWindow("Snipora.exe", "", "SniporaWindow", "Snipora", 15000);
    program_ = std::move(started.process);
    main_ = started.window;
    ASSERT_NE(main_, nullptr);
    Sleep(300);
  }
  void TearDown() override {
    if (HWND about = WaitForWindow("SniporaWindow", "关于", program_->id(), 0)) {
      PostMessageA(about, WM_CLOSE, 0, 0);
      WaitForWindowGone(about);
    }
    if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
    if (program_) {
      EXPECT_EQ(program_->Wait(15000), std::optional<DWORD>(0));
    }
  }

  // Clicks "关于" and waits for the About window and its status fetch.
  HWND OpenAbout() {
    HWND button = ChildWithText(main_, "关于");
    if (!button) return nullptr;
    Click(button);
    HWND about = WaitForWindow("SniporaWindow", "关于", program_->id(), 15000);
    if (!about) return nullptr;
    SetWindowPos(about, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Sleep(400);
    return about;
  }
  HWND StatusPanel(HWND about) { return ChildAt(about, "SniporaDrawPanel", 50, 169); }
  HWND MailPanel(HWND about) { return ChildAt(about, "SniporaDrawPanel", 50, 193); }
  HWND OkButton(HWND about) { return ChildAt(about, "Button", 242, 264, "确定"); }

  // The status panel shows nothing but its background colour.
  bool StatusPanelEmpty(HWND about) {
    for (uint32_t p : ControlPixels(StatusPanel(about)))
      if (p != ButtonFace()) return false;
    return true;
  }

  LocalService service_;
  ShellRecording recording_;  // before the program starts: its handlers inherit the record's name
  std::unique_ptr<ScopedWindowsVersion> version_;
  std::unique_ptr<ChildProcess> program_;
  HWND main_ = nullptr;
};

TEST_P(AboutWindow, ModalUntilOkEscOrTheCloseBox) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_));
    HWND ok = OkButton(about);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(FocusOf(about), ok);
    if (way == 0) {
      Click(ok);
    } else if (way == 1) {
      PostMessageA(FocusOf(about), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    } else {
      PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    EXPECT_TRUE(WaitForWindowGone(about));
    for (int i = 0; i < 100 && !IsWindowEnabled(main_); ++i) Sleep(20);
    EXPECT_TRUE(IsWindowEnabled(main_));
  }
}

TEST_P(AboutWindow, EveryOpeningFetchesTheStatusPictureAndShowsTheArtwork) {
  service_.ClearRequests();
  for (int opening = 1; opening <= 2; ++opening) {
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    const auto requests = service_.requests();
    ASSERT_EQ(requests.size(), std::size_t(opening));
    EXPECT_EQ(requests.back().substr(0, requests.back().find("\r\n")), kStatusRequest);

    // the status picture at the panel's corner, the panel's colour around it
    const auto status = ControlPixels(StatusPanel(about));
    const auto expected = Decoded({reinterpret_cast<const unsigned char*>(StatusImage().data()), StatusImage().size()},
                                  16, 16, 0);
    ASSERT_EQ(expected.size(), 256u);
    int wrong = 0;
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 72; ++x)
        wrong += ColourDistance(status[std::size_t(y) * 72 + x], x < 16 && y < 16 ? expected[std::size_t(y) * 16 + x]
                                                                                  : ButtonFace()) > 2;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Mismatches(ControlPixels(MailPanel(about)), Decoded(art::MailGifBytes(), 165, 22, 0)), 0);
    EXPECT_EQ(BannerMismatches(about, -36, 0, 118), 0);

    // OK lies in front of the bottom band and takes a real click
    HWND ok = OkButton(about);
    RECT r;
    GetWindowRect(ok, &r);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    EXPECT_EQ(WindowFromPoint(centre), ok);
    SetCursorPos(centre.x, centre.y);
    Sleep(50);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof click[0]);
    EXPECT_TRUE(WaitForWindowGone(about));
  }
}

TEST_P(AboutWindow, AFailedStatusFetchLeavesThePanelEmpty) {
  const Behaviour failures[] = {{.refuse = true}, {.status = 404}, {.body = std::string("no picture at all")}};
  for (const Behaviour& failure : failures) {
    service_.SetBehaviour(failure);
    HWND about = OpenAbout();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(StatusPanelEmpty(about));
    Click(OkButton(about));  // still answers
    EXPECT_TRUE(WaitForWindowGone(about));
  }
  service_.SetBehaviour({});
}

TEST_P(AboutWindow, TheAuthorLinksOpenInTheDefaultHandler) {
  ShellRecording& recording = recording_;
  const std::string microblog = std::string("http://") + app::kMicroblogHost + "/Morvik";
  if (std::string(GetParam()) == "win7") {
    for (const POINT at : {POINT{-12, 0}, POINT{2, 240}}) {  // header and footer
      Press(ChildAt(main_, "SniporaDrawPanel", at.x, at.y));
      const auto r = recording.WaitForRecord();
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(QuotedArgument(r->commandLine), microblog);
    }
  } else {
    HWND statusBar = FindWindowExA(main_, nullptr, "msctls_statusbar32", nullptr);
    ASSERT_NE(statusBar, nullptr);
    Press(statusBar);
    const auto r = recording.WaitForRecord();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(QuotedArgument(r->commandLine), microblog);
  }

  HWND about = OpenAbout();
  ASSERT_NE(about, nullptr);
  Press(StatusPanel(about));
  auto r = recording.WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(QuotedArgument(r->commandLine), std::string("http://") + app::kImGatewayHost + "/msgrd?v=3&uin=" +
                                                app::kImNumber + "&site=qq&menu=yes");
  Press(MailPanel(about));
  r = recording.WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(QuotedArgument(r->commandLine), std::string("mailto:") + app::kAuthorMail);
}

INSTANTIATE_TEST_SUITE_P(MainWindows, AboutWindow, testing::Values("win10", "win7"),
                         [](const auto& p) { return std::string(p.param); });

}  // namespace
