// One day's analytics for many clicked links: the memory the counters hold
// (their own reckoning and the heap's growth), and what writing them adds to
// an SQLite store per link.
//   visit_memory STORE.db LINKS VISITS_EACH
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "service/links/visit_counts.h"
#include "service/store/open_store.h"

using namespace snipora::service;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: visit_memory STORE.db LINKS VISITS_EACH\n");
    return 2;
  }
  const std::string path = argv[1];
  const int links = std::atoi(argv[2]), each = std::atoi(argv[3]);
  const char* agents[] = {"Mozilla/5.0 (Windows NT 10.0) Chrome/120.0 Safari/537.36",
                          "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) Mobile/15E148 Safari/604.1",
                          "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0"};
  const char* hosts[] = {"news.example", "chat.example", "direct"};
  HashKey salt{};
  const std::size_t heapBefore = mallinfo2().uordblks;
  VisitCounts counts(nullptr, 20000, salt);
  std::vector<std::string> codes;
  for (int i = 0; i < links; ++i) codes.push_back("c" + std::to_string(1000000 + i));
  for (int i = 0; i < links; ++i)
    for (int v = 0; v < each; ++v) {
      const std::string client = "10.0." + std::to_string(v % 250) + "." + std::to_string(i % 250);
      Visit visit;
      visit.client = client;
      visit.userAgent = agents[v % 3];
      visit.families = FamiliesOf(visit.userAgent);
      visit.referrer = hosts[v % 3];
      counts.Count(codes[std::size_t(i)], visit);
    }
  const std::size_t heapAfter = mallinfo2().uordblks;
  std::printf("counters: %d links, %d visits each: %.1f MB by their own count, %.1f MB of heap (%.0f bytes a link)\n",
              links, each, counts.MemoryBytes() / 1e6, (heapAfter - heapBefore) / 1e6,
              double(heapAfter - heapBefore) / links);
  std::filesystem::remove(path);
  std::unique_ptr<Store> store = OpenStore(path);
  std::vector<NewLink> made;
  for (const std::string& code : codes) made.push_back({code, "http://to.example/" + code});
  store->InsertIfAbsent(made);
  store->AddClicks({}, {});  // nothing
  const auto size = [&] {
    std::error_code error;
    const auto wal = std::filesystem::file_size(path + "-wal", error);
    return std::filesystem::file_size(path) + (error ? 0 : wal);
  };
  store.reset();
  store = OpenStore(path);
  const auto before = size();
  Tallies tallies = counts.Take(20001, salt);
  const std::size_t rows = tallies.counts.size(), registers = tallies.registers.size();
  store->AddTallies(tallies);
  store.reset();  // checkpointed at close
  const auto after = size();
  std::printf("store: one day's rows %zu counts and %zu registers: %.1f MB, %.0f bytes a link a day\n", rows, registers,
              double(after - before) / 1e6, double(after - before) / links);
  return 0;
}
