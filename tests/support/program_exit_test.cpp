// The one way out of the test programs: the result comes through, and what
// used to hold a process up at its end no longer does (or is ended in
// seconds, with a message).
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace snipora::test
