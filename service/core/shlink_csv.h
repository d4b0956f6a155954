#pragma once
// Shlink's short URLs as its web client exports them (short_urls.csv): a
// header row naming the columns (createdAt, domain, shortCode, shortUrl,
// longUrl, title, tags, visits; older clients wrote no domain and no
// shortCode, which are then read from shortUrl), then one row a short URL,
// its tags joined by '|'. Columns are found by their names. Platform-neutral:
// fuzzed.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/csv.h"
#include "service/core/link_record.h"

namespace snipora::service {

class ShlinkCsvReader {
 public:
  explicit ShlinkCsvReader(std::string_view text);
  // As YourlsDumpReader::Next: a record, or a row's fault in `error`; false at the end.
  bool Next(LinkRecord& record, std::string& error);
  std::size_t line() const { return reader_.line(); }

 private:
  CsvReader reader_;
  bool header_ = true;
  std::vector<int> columns_;  // the column each field is (-1: not kept)
};

}  // namespace snipora::service
