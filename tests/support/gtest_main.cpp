// The test programs' main: GoogleTest runs through the one way out of every
// test program (program_exit.h), on a thread of its own.
#include <gtest/gtest.h>

#include "tests/support/program_exit.h"

namespace {

int RunAllTests(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace

SNIPORA_PROGRAM_MAIN(RunAllTests)
