#pragma once
// The real program in one of its main windows, reaching the local service
// through the proxy setting (its service host is fixed), driven from this
// second process as a user would: typing, clicking, reading what it shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/program_driver.h"
#include "tests/support/ui_driver.h"

namespace snipora::test {

inline constexpr char kFailureText[] = "缩短失败，请检查网址和网络连接后重试！";

// What the window shows after a click on "缩短": either a short address with
// copy enabled, or the failure box (answered here) with copy disabled.
struct ShorteningOutcome {
  bool answered = false;  // the result box changed within the wait
  std::string result;
  bool copyEnabled = false;
  std::optional<MessageBoxInfo> box;
  bool shortAddress() const { return answered && result.rfind("snip.invalid/", 0) == 0 && copyEnabled && !box; }
  bool failure() const {
    return answered && result.empty() && !copyEnabled && box && box->text == kFailureText;
  }
};

class ShorteningSession : public testing::Test {
 protected:
  // Starts the program as `windowsVersion` shows it (win10 the classic
  // window, win7 the glass one); `program` is the one beside the test unless
  // a full path is given.
  void Start(const char* windowsVersion, const char* program = "Snipora.exe") {
    ASSERT_NE(service_.port(), 0);
    SetEnvironmentVariableA("http_proxy", service_.origin().c_str());
    version_ = std::make_unique<ScopedWindowsVersion>(windowsVersion);
    ProgramWindow started = StartForWindow(program, "", "SniporaWindow", "Snipora", 15000);
    program_ = std::move(started.process);
    window_ = started.window;
    ASSERT_NE(window_, nullptr);
    const MainWindowControls controls = FindMainWindowControls(window_);
    ASSERT_TRUE(controls.complete());
    address_ = controls.address;
    result_ = controls.result;
    shorten_ = controls.shorten;
    copy_ = controls.copy;
  }
  void TearDown() override {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    if (program_) {
      EXPECT_EQ(program_->Wait(15000), std::optional<DWORD>(0));
    }
  }

  // A press into the box (which takes the placeholder away), then the keys.
  void Type(const std::string& text) {
    PostMessageA(address_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageA(address_, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    for (char c : text) PostMessageA(address_, WM_CHAR, static_cast<unsigned char>(c), 1);
    for (int i = 0; i < 200 && GetControlText(address_) != text; ++i) Sleep(20);
    ASSERT_EQ(GetControlText(address_), text);
  }

  // Clicks "缩短" and waits up to `ms` until the program answers again.
  void Shorten(DWORD ms = 10000) {
    service_.ClearRequests();
    SetControlText(result_, "-");  // a marker that any outcome replaces
    Click(shorten_);
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (GetTickCount64() < deadline && ResultWhenAnswering().value_or("-") == "-") Sleep(20);
  }

  // The result box's text, or nothing while the program is busy (a window
  // that has not answered for 5 s counts as hung, and the driver's reads of
  // a hung window give up at once).
  std::optional<std::string> ResultWhenAnswering() {
    char text[1024];
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(result_, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 1000,
                             &length))
      return std::nullopt;
    return std::string(text, std::min<std::size_t>(length, sizeof text - 1));
  }

  // Shorten(), then what the window shows, with a failure box answered.
  ShorteningOutcome ShortenAndSee(DWORD ms = 10000) {
    Shorten(ms);
    ShorteningOutcome outcome;
    outcome.result = GetControlText(result_);
    outcome.answered = outcome.result != "-";
    if (outcome.answered && outcome.result.empty()) outcome.box = AnswerBox("提示");
    outcome.copyEnabled = IsWindowEnabled(copy_);
    return outcome;
  }

  std::optional<MessageBoxInfo> AnswerBox(const char* title) {
    HWND box = WaitForMessageBox(program_->id(), title, 10000);
    if (!box) return std::nullopt;
    MessageBoxInfo info = ReadMessageBox(box);
    AnswerMessageBox(box);
    WaitForWindowGone(box);
    return info;
  }

  LocalService service_;
  std::unique_ptr<ScopedWindowsVersion> version_;
  std::unique_ptr<ChildProcess> program_;
  HWND window_ = nullptr, address_ = nullptr, result_ = nullptr, shorten_ = nullptr, copy_ = nullptr;
};

}  // namespace snipora::test
