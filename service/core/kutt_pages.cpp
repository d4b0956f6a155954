#include "service/core/kutt_pages.h"

#include <algorithm>

#include "service/core/json_body.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

// A member as text, null and absent as "".
bool TextMember(const Json& link, const char* name, std::string* into) {
  const auto found = link.find(name);
  if (found == link.end() || found->is_null()) return true;
  if (!found->is_string()) return false;
  *into = found->get<std::string>();
  return true;
}

// One of Kutt's links; "" when it is read, else why not.
std::string ReadKuttLink(const Json& link, LinkRecord& record) {
  if (!link.is_object()) return "a link is not a JSON object";
  record = LinkRecord();
  if (!TextMember(link, "address", &record.code) || record.code.empty()) return "a link has no address (its code)";
  if (!TextMember(link, "target", &record.address) || record.address.empty()) return "link " + record.code + " has no target";
  if (!TextMember(link, "description", &record.title)) return "link " + record.code + ": description is not text";
  if (!TextMember(link, "domain", &record.domain)) return "link " + record.code + ": domain is not text";
  std::string created, expires;
  if (!TextMember(link, "created_at", &created)) return "link " + record.code + ": created_at is not text";
  if (!created.empty()) {
    const std::optional<long long> at = ParseIsoTime(created);
    if (!at) return "link " + record.code + ": created_at is not an ISO 8601 time";
    record.created = *at;
  }
  if (!TextMember(link, "expire_in", &expires)) return "link " + record.code + ": expire_in is not text";
  if (!expires.empty()) {
    const std::optional<long long> at = ParseIsoTime(expires);
    if (!at) return "link " + record.code + ": expire_in is not an ISO 8601 time";
    record.expires = *at;
  }
  if (const auto visits = link.find("visit_count"); visits != link.end() && !visits->is_null()) {
    if (!visits->is_number_integer() || visits->get<int64_t>() < 0)
      return "link " + record.code + ": visit_count is not a whole number";
    record.clicks = visits->get<int64_t>();
  }
  return {};
}

}  // namespace

bool KuttPagesReader::NextValue(std::string_view* value) {
  while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n' ||
                                text_[at_] == ','))
    ++at_;
  if (at_ >= text_.size()) return false;
  const std::size_t start = at_;
  int depth = 0;
  bool inString = false;
  for (; at_ < text_.size(); ++at_) {
    const char c = text_[at_];
    if (inString) {
      if (c == '\\') ++at_;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '{' || c == '[') ++depth;
    else if (c == '}' || c == ']') {
      if (--depth <= 0) {
        ++at_;
        break;
      }
    } else if (depth == 0 && (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',')) {
      break;
    }
  }
  *value = text_.substr(start, std::min(at_, text_.size()) - start);
  return true;
}

bool KuttPagesReader::Next(LinkRecord& record, std::string& error) {
  for (;;) {
    error.clear();
    if (!faults_.empty()) {
      error = std::move(faults_.back());
      faults_.pop_back();
      return true;
    }
    if (!ready_.empty()) {
      record = std::move(ready_.back());
      ready_.pop_back();
      return true;
    }
    std::string_view text;
    if (!NextValue(&text)) return false;
    ++page_;
    const std::optional<Json> value = ParseJsonBody(text);
    if (!value) {
      error = "page " + std::to_string(page_) + " is not JSON";
      return true;
    }
    // a page, or a list of pages
    std::vector<const Json*> pages;
    if (value->is_array()) {
      for (const Json& page : *value) pages.push_back(&page);
    } else {
      pages.push_back(&*value);
    }
    std::vector<LinkRecord> links;
    std::vector<std::string> faults;
    for (const Json* page : pages) {
      const auto data = page->is_object() ? page->find("data") : page->end();
      if (!page->is_object() || data == page->end() || !data->is_array()) {
        faults.push_back("page " + std::to_string(page_) + " has no data list");
        continue;
      }
      for (const Json& link : *data) {
        LinkRecord one;
        if (std::string why = ReadKuttLink(link, one); !why.empty()) faults.push_back(std::move(why));
        else links.push_back(std::move(one));
      }
    }
    std::reverse(links.begin(), links.end());
    std::reverse(faults.begin(), faults.end());
    ready_ = std::move(links);
    faults_ = std::move(faults);
  }
}

}  // namespace snipora::service
