// Shortening end to end: the real program in both main windows against the
// local service (reached through the proxy setting, as the program's host is
// fixed), driven from this second process.
#include <string>

#include "tests/app/shortening_session.h"

using namespace snipora::test;

namespace {

constexpr char kPlaceholder[] = "请在此输入您的网址";

class ShortenEndToEnd : public ShorteningSession, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { Start(GetParam()); }
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
    EXPECT_EQ(box->text, kFailureText);
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
