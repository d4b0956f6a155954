// Shortening end to end: the real program in both main windows against the
// local service (reached through the proxy setting, as the program's host is
// fixed), driven from this second process.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/program_driver.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

constexpr char kPlaceholder[] = "请在此输入您的网址";

class ShortenEndToEnd : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NE(service_.port(), 0);
    SetEnvironmentVariableA("http_proxy", service_.origin().c_str());
    version_ = std::make_unique<ScopedWindowsVersion>(GetParam());
    program_ = std::make_unique<ChildProcess>("Snipora.exe", "");
    window_ = WaitForWindow("SniporaWindow", "Snipora", program_->id(), 15000);
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

  // Clicks "缩短" and waits until the program answers again.
  void Shorten() {
    service_.ClearRequests();
    SetControlText(result_, "-");  // a marker that any outcome replaces
    Click(shorten_);
    for (int i = 0; i < 500 && GetControlText(result_) == "-"; ++i) Sleep(20);
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

TEST_P(ShortenEndToEnd, ShortenThenCopy) {
  EXPECT_EQ(GetControlText(address_), kPlaceholder);
  EXPECT_FALSE(IsWindowEnabled(copy_));
  const std::string typed = "www.example.com/a b?x=1&y=#top";
  Type(typed);
  Shorten();

  const std::string shortAddress = GetControlText(result_);
  ASSERT_EQ(shortAddress.rfind("snip.invalid/", 0), 0u) << shortAddress;
  EXPECT_EQ(service_.AddressOf(shortAddress.substr(13)), std::optional<std::string>("http://" + typed));
  EXPECT_TRUE(IsWindowEnabled(copy_));

  const auto requests = service_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
            // Wine names the default port when it asks the proxy
            "GET http://snip.invalid:80/create.php?source=indexpage&url=http%3A%2F%2Fwww.example.com%2Fa%20b%3Fx%3D1%26y%3D%23top"
            "&submit=Make+TinyURL%21&alias= HTTP/1.0");
  EXPECT_NE(requests[0].find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"), std::string::npos);
  EXPECT_NE(requests[0].find("\r\nAccept: */*"), std::string::npos);

  Click(copy_);
  const auto box = AnswerBox("提示");
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, "复制成功，你可以随时粘贴你的缩短网址了！");
  EXPECT_EQ(box->icon, BoxIcon::Information);
  EXPECT_EQ(ReadClipboardText(), std::optional<std::string>("http://" + shortAddress));
}

TEST_P(ShortenEndToEnd, FailuresAreToldAndTheWindowAnswersAgain) {
  Type("example.com/page");
  for (const Behaviour& failure : {Behaviour{.refuse = true}, Behaviour{.status = 404, .body = "<html>Not found</html>"}}) {
    service_.SetBehaviour(failure);
    Shorten();
    const auto box = AnswerBox("提示");
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, "缩短失败，请检查网址和网络连接后重试！");
    EXPECT_EQ(box->icon, BoxIcon::Warning);
    EXPECT_EQ(GetControlText(result_), "");
    EXPECT_FALSE(IsWindowEnabled(copy_));

    service_.SetBehaviour(Behaviour{});
    Shorten();
    EXPECT_EQ(GetControlText(result_).rfind("snip.invalid/", 0), 0u);
    EXPECT_TRUE(IsWindowEnabled(copy_));
  }
}

TEST_P(ShortenEndToEnd, EnterStartsNoShortening) {
  Type("example.com/enter");
  service_.ClearRequests();
  for (HWND target : {address_, shorten_}) {
    PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
  }
  Sleep(1500);
  EXPECT_TRUE(service_.requests().empty());
  EXPECT_EQ(GetControlText(result_), "在此显示缩短网址");
}

INSTANTIATE_TEST_SUITE_P(MainWindows, ShortenEndToEnd, testing::Values("win10", "win7"),
                         [](const auto& p) { return std::string(p.param); });

}  // namespace
