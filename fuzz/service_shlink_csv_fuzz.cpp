// The reading of Shlink's CSV export (snipora-service import --from shlink):
// any bytes end in a defined outcome, and every link read holds only bytes
// of the input's fields (no more than the input).
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/shlink_csv.h"

using namespace snipora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ShlinkCsvReader reader(text);
  LinkRecord record;
  std::string error;
  std::size_t steps = 0;
  while (reader.Next(record, error)) {
    FUZZ_CHECK(++steps <= size + 1);
    if (!error.empty()) continue;
    FUZZ_CHECK(record.address.size() + record.code.size() + record.title.size() <= size);
    FUZZ_CHECK(record.clicks >= 0);
    for (const std::string& tag : record.tags) FUZZ_CHECK(!tag.empty());
  }
  return 0;
}
