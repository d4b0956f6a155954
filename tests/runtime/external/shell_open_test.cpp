#include "runtime/shell_open.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/shell_recording.h"

using namespace snipora;
using namespace snipora::test;

namespace {

class OpenDocumentTest : public testing::Test {
 protected:
  std::optional<Recorded> WaitForRecord() { return recording_.WaitForRecord(); }
  ShellRecording recording_;
};

TEST_F(OpenDocumentTest, WebAddressReachesTheHandlerExactly) {
  const char address[] = "http://snip.invalid/create.php?source=indexpage&url=a%2Fb&x=%20y#frag";
  OpenDocument(address);
  const auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "open");
  EXPECT_EQ(r->show, SW_SHOWNORMAL);
  EXPECT_EQ(QuotedArgument(r->commandLine), address);
}

TEST_F(OpenDocumentTest, MailAddress) {
  OpenDocument("mailto:zhou.lan@snipora.invalid");
  const auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(QuotedArgument(r->commandLine), "mailto:zhou.lan@snipora.invalid");
}

TEST_F(OpenDocumentTest, VerbAndShowModeOfTheCall) {
  OpenDocument("http://snip.invalid/", {.verb = 1, .show = 4});
  auto r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "edit");
  EXPECT_EQ(r->show, SW_SHOWMAXIMIZED);

  OpenDocument("http://snip.invalid/", {.verb = 5, .show = 3});
  r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "print");
  EXPECT_EQ(r->show, SW_SHOWMINIMIZED);

  OpenDocument("http://snip.invalid/", {.verb = 99, .show = 5});  // unknown verb: the default
  r = WaitForRecord();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->verb, "open");
  EXPECT_EQ(r->show, SW_SHOWNA);
}

}  // namespace
