// Fills a store with many links for the benchmarks, through the store's own
// interface in large transactions, and writes "code address" lines of them.
//   fill_store DATABASE COUNT LINKS-FILE
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "service/links/codes.h"
#include "service/store/open_store.h"

using namespace snipora::service;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: fill_store DATABASE COUNT LINKS-FILE\n");
    return 2;
  }
  const long count = std::atol(argv[2]);
  std::unique_ptr<Store> store = OpenStore(argv[1]);
  std::ofstream out(argv[3]);
  std::vector<NewLink> batch;
  for (long i = 0; i < count; ++i) {
    batch.push_back({RandomCode(), "https://www.example.com/articles/" + std::to_string(i) +
                                       "/a-fairly-typical-long-address?utm_source=bench&id=" + std::to_string(i),
                     std::time(nullptr)});
    if (batch.size() == 10000 || i + 1 == count) {
      const std::vector<InsertResult> results = store->InsertIfAbsent(batch);
      for (std::size_t k = 0; k < batch.size(); ++k)
        if (results[k].outcome == InsertResult::kInserted) out << batch[k].code << ' ' << batch[k].address << '\n';
      batch.clear();
    }
  }
  return 0;
}
