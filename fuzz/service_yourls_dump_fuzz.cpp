// The reading of a YOURLS dump (snipora-service import --from yourls): any
// bytes end in a defined outcome, the reading always ends, the rows' lines
// never go back, and a string read unescaped is never longer than its text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/yourls_dump.h"

using namespace snipora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  YourlsDumpReader reader(text);
  LinkRecord record;
  std::string error;
  std::size_t steps = 0, line = 0;
  while (reader.Next(record, error)) {
    FUZZ_CHECK(++steps <= size + 1);  // every step reads at least a byte
    FUZZ_CHECK(reader.line() >= line);
    line = reader.line();
    if (error.empty()) FUZZ_CHECK(!record.code.empty() || record.address.size() <= size);
  }
  FUZZ_CHECK(MysqlUnescape(text, '\'').size() <= size);
  return 0;
}
