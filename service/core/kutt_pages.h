#pragma once
// Kutt's links as its API answers GET /api/v2/links: one or more pages one
// after another ({"limit", "skip", "total", "data": [link, ...]}), or a JSON
// list of them; each link's address (its code), target, description,
// created_at, visit_count, expire_in and domain (null: Kutt's own), any of
// them null. Platform-neutral: fuzzed.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/link_record.h"

namespace snipora::service {

class KuttPagesReader {
 public:
  explicit KuttPagesReader(std::string_view text) : text_(text) {}
  // As YourlsDumpReader::Next: a record, or a link's or page's fault in
  // `error`; false at the end.
  bool Next(LinkRecord& record, std::string& error);
  // The page (from 1) the last link came from.
  std::size_t line() const { return page_; }

 private:
  bool NextValue(std::string_view* value);  // the next top-level JSON value's text
  std::string_view text_;
  std::size_t at_ = 0, page_ = 0;
  std::vector<LinkRecord> ready_;  // the page's links, last first
  std::vector<std::string> faults_;
};

}  // namespace snipora::service
