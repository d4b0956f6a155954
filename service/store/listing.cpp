#include "service/store/listing.h"

#include <algorithm>

#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/request.h"

namespace snipora::service {
namespace {

// Links read from the store at a time while a page fills.
constexpr int kStorePage = 1000;

bool MatchesText(const Link& link, std::string_view text) {
  if (text.empty()) return true;
  if (ContainsNoCase(link.address, text) || ContainsNoCase(link.title, text) || ContainsNoCase(link.code, text))
    return true;
  return std::any_of(link.tags.begin(), link.tags.end(), [&](const std::string& tag) { return ContainsNoCase(tag, text); });
}

// Whether the store's trigram index can find `text`: three characters or
// more (a shorter part has no trigram), UTF-8 without a NUL (which neither
// store takes in a text); any other text is matched here alone.
bool IndexFinds(std::string_view text) {
  if (!IsUtf8(text) || text.find('\0') != std::string_view::npos) return false;
  return std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) >= 3;
}

bool HasTag(const Link& link, std::string_view tag) {
  return tag.empty() || std::find(link.tags.begin(), link.tags.end(), tag) != link.tags.end();
}

}  // namespace

LinkPage FindLinks(Store& store, const LinkFilter& filter) {
  LinkPage page;
  LinkQuery query = filter.query;
  const std::size_t limit = std::size_t(std::clamp(filter.query.limit, 1, kMaxListLimit));
  // with nothing to match here, the store reads the answer's page alone
  const bool matchedHere = !filter.host.empty() || !filter.text.empty() || !filter.tag.empty() || filter.offset > 0;
  query.limit = matchedHere ? kStorePage : int(limit);
  // the store's answer is checked again below: its index folds more letter
  // cases than ContainsNoCase and may match across two tags
  if (IndexFinds(filter.text)) query.text = filter.text;
  std::size_t skipped = 0;
  for (;;) {
    const std::vector<Link> links = store.ListLinks(query);
    for (const Link& link : links) {
      if (!filter.host.empty() && CheckAddress(link.address, {}, DenyList()).host != filter.host) continue;
      if (!MatchesText(link, filter.text) || !HasTag(link, filter.tag)) continue;
      if (skipped < filter.offset) {
        ++skipped;
        continue;
      }
      page.links.push_back(link);
      if (page.links.size() == limit) {
        page.next = link.code;
        return page;
      }
    }
    if (links.size() < std::size_t(query.limit)) return page;
    query.after = links.back().code;
  }
}

}  // namespace snipora::service
