#pragma once
// Listing links through the store with filters it does not index (the
// address's host, an offset), a page at a time: the service's own API and
// the command line's `link list`.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "service/store/store.h"

namespace snipora::service {

// The most links one answer (and one query of the store) holds.
inline constexpr int kMaxListLimit = 1000;

struct LinkFilter {
  LinkQuery query;   // after (the cursor), created, disabled, owner, limit
  std::string host;  // the address's host, exactly (lower case); "": any
  std::size_t offset = 0;  // matches skipped before the page
  // the console's search: a part of the address, the title, a tag or the
  // code (letter case ignored), and one tag exactly; "": any
  std::string text, tag;
};
struct LinkPage {
  std::vector<Link> links;
  std::optional<std::string> next;  // the cursor of the next page; none after the last
};
// Reads the store in pages of its own until the page is full or the links
// end; the host is matched here, so a rare host may read many links. A text
// of 3 characters or more is found through the store's index, a shorter one
// by reading every link.
LinkPage FindLinks(Store& store, const LinkFilter& filter);

}  // namespace snipora::service
