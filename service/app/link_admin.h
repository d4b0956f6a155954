#pragma once
// Managing links, shared by the JSON API (application.cpp) and the command
// line (main.cpp): listing with filters and paging, a link's JSON shape, and
// reading a change from a JSON body.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/json_body.h"
#include "service/store/store.h"

namespace snipora::service {

inline constexpr int kMaxListLimit = 1000;
// What a client may say of a link (its title and tags), whichever door it
// came through, at creation and in a change: bytes each, and tags a link.
inline constexpr std::size_t kMaxTitle = 1000, kMaxTags = 50, kMaxTag = 200;
bool TitleFits(std::string_view title);
bool TagsFit(const std::vector<std::string>& tags);

struct LinkFilter {
  LinkQuery query;   // after (the cursor), created, disabled, owner, limit
  std::string host;  // the address's host, exactly (lower case); "": any
  std::size_t offset = 0;  // matches skipped before the page
};
struct LinkPage {
  std::vector<Link> links;
  std::optional<std::string> next;  // the cursor of the next page; none after the last
};
// Reads the store in pages of its own until the page is full or the links
// end; the host is matched here, so a rare host may read many links.
LinkPage FindLinks(Store& store, const LinkFilter& filter);

// {"code","url","created","clicks","disabled","public_note","expires",
// "max_clicks","title","tags"}, and with `full` (the owner, an admin) "private_note" and
// "owner" too. `clicks` as given (stored and counted since).
Json LinkJson(const Link& link, int64_t clicks, bool full);

// A change from a JSON object of expires (a UTC time as 2026-12-31T00:00:00Z
// or seconds since 1970, or null), max_clicks (a whole number or null),
// disabled (true or false), public_note, private_note, url and title
// (strings) and tags (an array of strings).
// Unknown members and wrong kinds are refused, naming the member; of a
// member given twice, the last counts.
struct ChangeRequest {
  std::optional<LinkChange> change;
  std::string error;  // when refused
};
ChangeRequest ReadLinkChange(std::string_view body);

}  // namespace snipora::service
