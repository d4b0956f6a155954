#pragma once
// Driving the real program through many repetitions of what a user does, and
// how much its memory grew meanwhile: a leak shows as growth that a short run
// already sees and a long one multiplies.
#include <cstdint>
#include <string>
#include <vector>

namespace snipora::test {

class LocalService;

struct SoakPlan {
  int shortenings = 0;  // addresses shortened through the classic window
  int abouts = 0;       // openings and closings of the About window
  int repaints = 0;     // repaints of the banner, and of the glass window's header and footer
};

struct MemoryGrowth {
  std::string phase;
  int repetitions = 0;     // measured ones, after a warm-up of a tenth (at least 5)
  int64_t workingSet = 0;  // bytes the program's working set grew by
  int64_t pagefile = 0;    // bytes its pagefile usage (private memory) grew by
};

// The platform's own share: `count` bare WinINet GETs of distinct addresses
// (session once; connect, open, send, read, close each time) in this process,
// through the proxy to the service, as the program's shortenings make them.
MemoryGrowth BareFetchGrowth(int count, LocalService& service);

// Runs the plan against Snipora.exe beside this program, with the service
// reached through http_proxy (set here). Empty, with `error` set, when the
// program could not be driven.
std::vector<MemoryGrowth> RunSoak(const SoakPlan& plan, LocalService& service, std::string& error);

}  // namespace snipora::test
