#pragma once
// A link as the service's own API shapes it, and a change to one read from
// its JSON: the API door's (api_door.h), and the command line's, which
// prints links as the API does.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/core/json_body.h"
#include "service/store/store.h"

namespace snipora::service {

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
