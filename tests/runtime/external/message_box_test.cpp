// Message boxes as the user sees them, read from this second process.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

struct Shown {
  MessageBoxInfo box;
  bool otherWindowEnabled = true;
  bool topmost = false;
  std::optional<DWORD> result;
};

Shown ShowAndAnswer(const char* mode, int button) {
  Shown shown;
  ChildProcess child("message_box_child.exe", mode);
  HWND box = WaitForMessageBox(child.id(), nullptr, 15000);
  if (!box) {
    ADD_FAILURE() << "no box for " << mode;
    return shown;
  }
  shown.box = ReadMessageBox(box);
  if (HWND other = WaitForWindow(nullptr, "snipora-message-box-child", child.id(), 2000))
    shown.otherWindowEnabled = IsWindowEnabled(other);
  shown.topmost = (shown.box.exStyle & WS_EX_TOPMOST) != 0;
  AnswerMessageBox(box, button);
  shown.result = child.Wait(15000);
  return shown;
}

std::vector<int> ButtonIds(const MessageBoxInfo& box) {
  std::vector<int> ids;
  for (const auto& [id, text] : box.buttons) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST(ShowMessageBox, InformationWithTitleIsTaskModalWithoutOwner) {
  const Shown shown = ShowAndAnswer("information", IDOK);
  EXPECT_EQ(shown.box.title, "提示");
  EXPECT_EQ(shown.box.text, "复制成功！");
  EXPECT_EQ(shown.box.icon, BoxIcon::Information);
  EXPECT_EQ(ButtonIds(shown.box), std::vector<int>{IDOK});
  EXPECT_EQ(shown.box.owner, nullptr);
  EXPECT_FALSE(shown.otherWindowEnabled);  // task-modal: the task's windows wait
  EXPECT_FALSE(shown.topmost);
  EXPECT_EQ(shown.result, std::optional<DWORD>(0));
}

TEST(ShowMessageBox, NumberContentAndDefaultTitle) {
  const Shown shown = ShowAndAnswer("number", IDCANCEL);
  EXPECT_EQ(shown.box.title, "信息：");
  EXPECT_EQ(shown.box.text, "-12345");
  EXPECT_EQ(shown.box.icon, BoxIcon::Question);
  EXPECT_EQ(ButtonIds(shown.box), (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_EQ(shown.result, std::optional<DWORD>(1));
}

TEST(ShowMessageBox, ResultNumbering) {
  EXPECT_EQ(ShowAndAnswer("yes-no", IDYES).result, std::optional<DWORD>(5));
  EXPECT_EQ(ShowAndAnswer("yes-no", IDNO).result, std::optional<DWORD>(6));
  EXPECT_EQ(ShowAndAnswer("abort-retry-ignore", IDABORT).result, std::optional<DWORD>(2));
  EXPECT_EQ(ShowAndAnswer("abort-retry-ignore", IDRETRY).result, std::optional<DWORD>(3));
  EXPECT_EQ(ShowAndAnswer("abort-retry-ignore", IDIGNORE).result, std::optional<DWORD>(4));
}

TEST(ShowMessageBox, SystemModalIsNotMadeTaskModal) {
  const Shown shown = ShowAndAnswer("system-modal", IDOK);
  EXPECT_EQ(shown.box.icon, BoxIcon::Warning);
  EXPECT_TRUE(shown.topmost);
  EXPECT_TRUE(shown.otherWindowEnabled);
  EXPECT_EQ(shown.result, std::optional<DWORD>(0));
}

}  // namespace
