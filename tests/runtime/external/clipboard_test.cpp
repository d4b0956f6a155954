#include "runtime/clipboard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"

using namespace snipora;
using namespace snipora::test;

namespace {

// The CF_TEXT block as a second process reads it.
std::optional<std::string> ReadFromAnotherProcess() {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string file = std::string(folder) + "snipora-clipboard-" + std::to_string(GetCurrentProcessId());
  ChildProcess reader("clipboard_reader.exe", "\"" + file + "\"");
  const auto code = reader.Wait(15000);
  if (code != std::optional<DWORD>(0)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  DeleteFileA(file.c_str());
  return bytes;
}

TEST(SetClipboardText, GbkTextRoundTripsToAnotherProcess) {
  const char text[] = "复制成功 http://snip.invalid/Ab3";
  ASSERT_TRUE(SetClipboardText(text));
  const auto block = ReadFromAnotherProcess();
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(*block, std::string(text, sizeof text));  // the text and its terminating zero
  EXPECT_EQ(ReadClipboardText(), std::optional<std::string>(text));
}

TEST(SetClipboardText, EmptyTextIsOneZeroByte) {
  ASSERT_TRUE(SetClipboardText("x"));
  ASSERT_TRUE(SetClipboardText(nullptr));
  const auto block = ReadFromAnotherProcess();
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(*block, std::string(1, '\0'));
}

// A clipboard whose calls the test decides.
struct FakeClipboard {
  bool opens = true, allocates = true, accepts = true;
  int opened = 0, emptied = 0, closed = 0, handedOver = 0;
};
FakeClipboard* fake = nullptr;

BOOL WINAPI FakeOpen(HWND owner) {
  EXPECT_EQ(owner, nullptr);
  ++fake->opened;
  return fake->opens;
}
BOOL WINAPI FakeEmpty() { return ++fake->emptied, TRUE; }
HGLOBAL WINAPI FakeAllocate(UINT flags, SIZE_T bytes) {
  EXPECT_EQ(flags, UINT(GMEM_MOVEABLE | GMEM_ZEROINIT));
  return fake->allocates ? GlobalAlloc(flags, bytes) : nullptr;
}
HANDLE WINAPI FakeHandOver(UINT format, HANDLE data) {
  EXPECT_EQ(format, UINT(CF_TEXT));
  ++fake->handedOver;
  if (!fake->accepts) return nullptr;
  GlobalFree(data);  // stands for the clipboard taking it
  return data;
}
BOOL WINAPI FakeClose() { return ++fake->closed, TRUE; }
const ClipboardApi kFakeApi{FakeOpen, FakeEmpty, FakeAllocate, FakeHandOver, FakeClose};

class SetClipboardTextFailures : public testing::Test {
 protected:
  void SetUp() override { fake = &state; }
  void TearDown() override { fake = nullptr; }
  FakeClipboard state;
};

TEST_F(SetClipboardTextFailures, BusyClipboardAnswersFalse) {
  state.opens = false;
  EXPECT_FALSE(SetClipboardText("abc", kFakeApi));
  EXPECT_EQ(state.emptied, 0);
  EXPECT_EQ(state.closed, 0);  // never opened, never closed
}

TEST_F(SetClipboardTextFailures, NoMemoryAnswersFalseAndLeavesItEmptiedAndClosed) {
  state.allocates = false;
  EXPECT_FALSE(SetClipboardText("abc", kFakeApi));
  EXPECT_EQ(state.emptied, 1);
  EXPECT_EQ(state.handedOver, 0);
  EXPECT_EQ(state.closed, 1);
}

TEST_F(SetClipboardTextFailures, RefusedDataAnswersFalse) {
  state.accepts = false;
  EXPECT_FALSE(SetClipboardText("abc", kFakeApi));
  EXPECT_EQ(state.closed, 1);
}

TEST_F(SetClipboardTextFailures, SuccessClosesOnce) {
  EXPECT_TRUE(SetClipboardText("abc", kFakeApi));
  EXPECT_EQ(state.opened, 1);
  EXPECT_EQ(state.emptied, 1);
  EXPECT_EQ(state.handedOver, 1);
  EXPECT_EQ(state.closed, 1);
}

}  // namespace
