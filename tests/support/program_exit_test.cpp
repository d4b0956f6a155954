// The one way out of the test programs: the result comes through, and what
// used to hold a process up at its end no longer does (or is ended in
// seconds, with a message). And the one second start a test gives a program
// the platform failed to start.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"

namespace snipora::test {
namespace {

std::optional<DWORD> RunChild(const char* mode) {
  ChildProcess child("program_exit_child.exe", mode);
  EXPECT_TRUE(child.started());
  return child.Wait(30000);
}

TEST(ProgramExit, EndsWithTheResultWhileAThreadWaitsOnTheWork) { EXPECT_EQ(RunChild("watched"), 5u); }

// Without the bound the child would never end and the wait would run out.
TEST(ProgramExit, AThreadThatNeverEndsHoldsUpTheEndOnlyForABoundedWait) { EXPECT_EQ(RunChild("stuck-thread"), 7u); }

// The stand-in fails its first N starts with status 1 before its own code,
// as the platform now and then does; returns how many starts there were.
int StartsForWindow(int failures, bool* windowCame) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  char file[MAX_PATH];
  GetTempFileNameA(folder, "sfw", 0, file);
  DeleteFileA(file);
  SetEnvironmentVariableA("SNIPORA_TEST_FAILED_STARTS", (std::to_string(failures) + " " + file).c_str());
  ProgramWindow started = StartForWindow("program_exit_child.exe", "window", "ProgramExitChild", "child", 15000);
  SetEnvironmentVariableA("SNIPORA_TEST_FAILED_STARTS", nullptr);
  *windowCame = started.window != nullptr;
  if (started.window) {
    PostMessageA(started.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(started.process->Wait(15000), std::optional<DWORD>(0));
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const int starts = GetFileAttributesExA(file, GetFileExInfoStandard, &data) ? int(data.nFileSizeLow) : 0;
  DeleteFileA(file);
  return starts;
}

TEST(StartForWindow, StartsAgainOnceAProgramThatEndedWithStatusOneBeforeItsWindow) {
  bool windowCame = false;
  EXPECT_EQ(StartsForWindow(0, &windowCame), 1);
  EXPECT_TRUE(windowCame);
  EXPECT_EQ(StartsForWindow(1, &windowCame), 2);
  EXPECT_TRUE(windowCame);
  EXPECT_EQ(StartsForWindow(2, &windowCame), 2);  // not a third time
  EXPECT_FALSE(windowCame);
}

}  // namespace
}  // namespace snipora::test
