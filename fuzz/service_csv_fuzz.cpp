// The service's CSV reading (snipora-service import): any bytes, in any
// pieces, give the same records and refusals; a record written back and read
// again is the same record.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "service/core/csv.h"
#include "service/core/utc_time.h"

using namespace snipora::service;

namespace {

struct Read {
  std::vector<std::vector<std::string>> records;
  std::vector<std::size_t> lines;  // each record's or refusal's first line
  std::size_t refused = 0;
};

Read ReadAll(std::string_view text, std::size_t piece) {
  Read read;
  CsvReader reader;
  std::string error;
  for (std::size_t at = 0;;) {
    const std::size_t length = std::min(piece, text.size() - at);
    reader.Feed(text.substr(at, length), at + length == text.size());
    at += length;
    for (;;) {
      auto record = reader.Next(&error);
      if (!record && error.empty()) break;
      if (record) read.records.push_back(*record);
      else ++read.refused;
      read.lines.push_back(reader.line());
    }
    if (at == text.size()) return read;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 7;  // the first byte picks the pieces' size
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Read whole = ReadAll(text, text.size() + 1);
  const Read pieces = ReadAll(text, piece);
  FUZZ_CHECK(whole.records == pieces.records);
  FUZZ_CHECK(whole.refused == pieces.refused);
  FUZZ_CHECK(whole.lines == pieces.lines);
  for (std::size_t i = 1; i < whole.lines.size(); ++i) FUZZ_CHECK(whole.lines[i] > whole.lines[i - 1]);
  for (const std::vector<std::string>& record : whole.records) {
    std::vector<std::string_view> fields(record.begin(), record.end());
    const Read again = ReadAll(CsvRecord(fields), 3);
    FUZZ_CHECK(again.refused == 0 && again.records.size() == 1 && again.records[0] == record);
  }
  for (const std::vector<std::string>& record : whole.records)
    if (record.size() == 4)
      if (const std::optional<long long> at = ParseTime(record[2])) {
        // a time import takes is in range and exported as itself
        FUZZ_CHECK(InTimeRange(*at));
        FUZZ_CHECK(ParseTime(IsoUtc(*at)) == at);
      }
  return 0;
}
