// A short soak in the test run: a leak of a few hundred bytes per shortening,
// About opening or repaint already grows memory past the bound here. Wine's
// WinINet itself grows by some hundred bytes a request; the shortenings are
// held to the bound over what the same requests cost the platform alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/soak_driver.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora::test;

TEST(Soak, MemoryStaysFlatOverRepeatedUse) {
  LocalService service;
  std::string error;
  const auto growth = RunSoak({300, 100, 300}, service, error);
  ASSERT_FALSE(growth.empty()) << error;
  ASSERT_EQ(growth.size(), 4u);
  const MemoryGrowth platform = BareFetchGrowth(growth[0].repetitions, service);
  for (const MemoryGrowth& g : growth) {
    const int64_t allowance = g.phase == "shortenings" ? std::max<int64_t>(platform.pagefile, 0) : 0;
    // private memory is what a leak grows; the working set also takes in code
    // and shared pages touched late, so it is held to a looser bound
    EXPECT_LT(g.pagefile, 256 * 1024 + allowance) << g.phase;
    EXPECT_LT(g.workingSet, 1024 * 1024 + allowance) << g.phase;
  }
}
