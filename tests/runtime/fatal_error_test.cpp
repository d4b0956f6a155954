// The fatal runtime error seen from outside: the box a user sees, and how the
// process ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "tests/support/child_process.h"
#include "tests/support/ui_driver.h"

using namespace snipora::test;

namespace {

struct FatalOutcome {
  MessageBoxInfo box;
  std::optional<DWORD> exitCode;
  bool exitRoutineRan = false;
};

std::string MarkerPath(const char* mode) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "snipora-exit-routine-" + mode + "-" + std::to_string(GetCurrentProcessId());
}

FatalOutcome RunChild(const char* mode) {
  const std::string marker = MarkerPath(mode);
  DeleteFileA(marker.c_str());
  FatalOutcome outcome;
  ChildProcess child("fatal_error_child.exe", std::string(mode) + " \"" + marker + "\"");
  EXPECT_TRUE(child.started());
  if (HWND box = WaitForMessageBox(child.id(), nullptr, 15000)) {
    outcome.box = ReadMessageBox(box);
    // the process must still be waiting on the box, not already gone
    EXPECT_FALSE(child.Wait(0).has_value());
    AnswerMessageBox(box);
  } else {
    ADD_FAILURE() << "no box from mode " << mode;
  }
  outcome.exitCode = child.Wait(15000);
  outcome.exitRoutineRan = GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
  DeleteFileA(marker.c_str());
  return outcome;
}

void ExpectFatalEnd(const FatalOutcome& outcome) {
  EXPECT_EQ(outcome.box.title, "错误");
  EXPECT_EQ(outcome.box.owner, nullptr);
  EXPECT_EQ(outcome.box.icon, BoxIcon::Error);
  ASSERT_EQ(outcome.box.buttons.size(), 1u);
  EXPECT_EQ(outcome.box.buttons[0].first, IDOK);
  EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0xFFFFFFFF));
  EXPECT_FALSE(outcome.exitRoutineRan);
}

TEST(FatalRuntimeError, CodeAndMessage) {
  const FatalOutcome outcome = RunChild("code-and-message");
  EXPECT_EQ(outcome.box.text,
            "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, MessageOnly) {
  const FatalOutcome outcome = RunChild("message");
  EXPECT_EQ(outcome.box.text, "运行时出错!\r\n\r\n错误信息：未载入欲访问窗口组件所在的窗口\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, CodeOnly) {
  const FatalOutcome outcome = RunChild("code");
  EXPECT_EQ(outcome.box.text, "运行时出错!\r\n\r\n错误代码：5\r\n\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, AllocationFailureNamesTheByteCount) {
  const FatalOutcome outcome = RunChild("allocation");
  const std::string count = std::to_string(SIZE_MAX - 64);
  EXPECT_EQ(outcome.box.text, "运行时出错!\r\n\r\n错误信息：分配 " + count + " 字节内存失败!\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, ByteSetBeyondItsCountFieldIsAnAllocationFailure) {
  // 2 GiB of bytes cannot be counted in the block's 32-bit field: block size named
  const FatalOutcome outcome = RunChild("byte-set-allocation");
  EXPECT_EQ(outcome.box.text, "运行时出错!\r\n\r\n错误信息：分配 2147483656 字节内存失败!\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, InvalidValueKindOfReadBytesValue) {
  const FatalOutcome outcome = RunChild("value-kind");
  EXPECT_EQ(outcome.box.text, "运行时出错!\r\n\r\n错误信息：“欲取出数据的类型”参数值无效\r\n");
  ExpectFatalEnd(outcome);
}

TEST(FatalRuntimeError, NormalEndRunsTheExitRoutineInstead) {
  // the probe of the exit routine works: without a fatal error it does run
  const std::string marker = MarkerPath("normal");
  DeleteFileA(marker.c_str());
  ChildProcess child("fatal_error_child.exe", "normal \"" + marker + "\"");
  EXPECT_EQ(child.Wait(15000), std::optional<DWORD>(0));
  EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(marker.c_str());
}

}  // namespace
