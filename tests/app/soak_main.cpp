// The soak: 10,000 shortenings, 1,000 openings of About and 1,000 repaints of
// the banner, header and footer through the real program, and how much its
// memory grew over each after a warm-up. Prints figures; run by scripts/soak.sh.
// Arguments: shortenings, abouts, repaints (defaults as above).
#include <cstdio>
#include <cstdlib>

#include "tests/app/soak_driver.h"
#include "tests/support/local_service/local_service.h"
#include "tests/support/program_exit.h"

using namespace snipora::test;

static int ProgramMain(int argc, char** argv) {
  SoakPlan plan{10000, 1000, 1000};
  if (argc > 3) plan = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])};
  constexpr long long kGoal = 256 * 1024;
  LocalService service;
  std::string error;
  const auto growth = RunSoak(plan, service, error);
  if (growth.empty()) return std::fprintf(stderr, "soak: %s\n", error.c_str()), 1;
  const MemoryGrowth platform = BareFetchGrowth(plan.shortenings, service);
  std::printf("%-28s %8s %18s %18s  %s\n", "phase", "count", "working set (kB)", "pagefile (kB)", "goal < 256 kB");
  bool met = true;
  for (const MemoryGrowth& g : growth) {
    const bool ok = g.workingSet < kGoal && g.pagefile < kGoal;
    met &= ok;
    std::printf("%-28s %8d %+18.1f %+18.1f  %s\n", g.phase.c_str(), g.repetitions, g.workingSet / 1024.0,
                g.pagefile / 1024.0, ok ? "met" : "NOT MET");
  }
  // not the program's: what the platform itself grows by for as many requests
  std::printf("%-28s %8d %+18.1f %+18.1f  (the platform alone, for comparison)\n", platform.phase.c_str(),
              platform.repetitions, platform.workingSet / 1024.0, platform.pagefile / 1024.0);
  return met ? 0 : 2;
}

SNIPORA_PROGRAM_MAIN(ProgramMain)
