// A short soak in the test run: a leak of a few hundred bytes per shortening,
// About opening or repaint already grows memory past the bound here.
#include <gtest/gtest.h>

#include "tests/app/soak_driver.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora::test;

TEST(Soak, MemoryStaysFlatOverRepeatedUse) {
  LocalService service;
  std::string error;
  const auto growth = RunSoak({300, 100, 300}, service, error);
  ASSERT_FALSE(growth.empty()) << error;
  ASSERT_EQ(growth.size(), 4u);
  for (const MemoryGrowth& g : growth) {
    EXPECT_LT(g.workingSet, 256 * 1024) << g.phase;
    EXPECT_LT(g.pagefile, 256 * 1024) << g.phase;
  }
}
