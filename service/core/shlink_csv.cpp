#include "service/core/shlink_csv.h"

#include <algorithm>

#include "service/core/numbers.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

enum Column { kCreatedAt, kDomain, kShortCode, kShortUrl, kLongUrl, kTitle, kTags, kVisits, kColumns };
constexpr std::string_view kNames[kColumns] = {"createdAt", "domain", "shortCode", "shortUrl",
                                               "longUrl",   "title",  "tags",      "visits"};

// The host and the path of http(s)://HOST[:PORT]/CODE.
bool SplitShortUrl(std::string_view url, std::string* host, std::string* code) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return false;
  const std::string_view rest = url.substr(scheme + 3);
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return false;
  std::string_view authority = rest.substr(0, slash);
  if (const std::size_t colon = authority.rfind(':');
      colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos)
    authority = authority.substr(0, colon);
  *host = authority;
  *code = rest.substr(slash + 1);
  return true;
}

}  // namespace

ShlinkCsvReader::ShlinkCsvReader(std::string_view text) { reader_.Feed(text, true); }

bool ShlinkCsvReader::Next(LinkRecord& record, std::string& error) {
  for (;;) {
    error.clear();
    std::optional<std::vector<std::string>> row = reader_.Next(&error);
    if (!row) return !error.empty();
    if (header_) {
      header_ = false;
      for (std::string name : *row) {
        if (name.starts_with("\xEF\xBB\xBF")) name.erase(0, 3);  // a spreadsheet's byte-order mark
        const auto known = std::find(std::begin(kNames), std::end(kNames), name);
        columns_.push_back(known == std::end(kNames) ? -1 : int(known - std::begin(kNames)));
      }
      const auto has = [&](Column column) { return std::find(columns_.begin(), columns_.end(), column) != columns_.end(); };
      if (!has(kLongUrl) || (!has(kShortCode) && !has(kShortUrl))) {
        error = "the first line must name the columns, longUrl and shortCode or shortUrl among them";
        columns_.clear();
        return true;
      }
      continue;
    }
    if (columns_.empty()) {
      error = "no header was read";
      return true;
    }
    if (row->size() != columns_.size()) {
      error = "expected " + std::to_string(columns_.size()) + " fields, found " + std::to_string(row->size());
      return true;
    }
    const std::string* of[kColumns] = {};
    for (std::size_t i = 0; i < row->size(); ++i)
      if (columns_[i] >= 0) of[columns_[i]] = &(*row)[i];
    record = LinkRecord();
    record.address = *of[kLongUrl];
    if (of[kShortUrl]) SplitShortUrl(*of[kShortUrl], &record.domain, &record.code);
    if (of[kDomain] && !of[kDomain]->empty()) record.domain = *of[kDomain];
    if (of[kShortCode] && !of[kShortCode]->empty()) record.code = *of[kShortCode];
    if (of[kTitle]) record.title = *of[kTitle];
    if (of[kTags]) {
      std::string_view tags = *of[kTags];
      while (!tags.empty()) {
        const std::size_t bar = tags.find('|');
        if (bar != 0) record.tags.emplace_back(tags.substr(0, bar));
        tags = bar == std::string_view::npos ? std::string_view() : tags.substr(bar + 1);
      }
    }
    if (of[kCreatedAt] && !of[kCreatedAt]->empty()) {
      const std::optional<long long> at = ParseIsoTime(*of[kCreatedAt]);
      if (!at) {
        error = "createdAt is not an ISO 8601 time";
        return true;
      }
      record.created = *at;
    }
    if (of[kVisits] && !of[kVisits]->empty()) {
      const std::optional<int64_t> visits = ParseWholeNumber(*of[kVisits]);
      if (!visits || *visits < 0) {
        error = "visits is not a whole number of 0 or more";
        return true;
      }
      record.clicks = *visits;
    }
    return true;
  }
}

}  // namespace snipora::service
