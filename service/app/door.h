#pragma once
// A door: one way in to the links (the pages and the form, the service's own
// API, the plain-text API, the other shorteners' APIs), a small class in
// doors/ over the operations they all share (operations.h). Its routes are
// rows of the route table (doors/route_table.cpp), each naming its door, so
// the dispatcher (application.h) knows no door's paths: the door shapes its
// refusals of keys and decorates its answers, immediate and put off alike.
#include <optional>
#include <string_view>

#include "service/app/call.h"
#include "service/app/routes.h"
#include "service/http/exchange.h"

namespace snipora::service {

class Door {
 public:
  virtual ~Door() = default;
  // The answer to a key refused on one of this door's routes that need a
  // role (the dispatcher reads the key as Authorization: Bearer KEY): by
  // default as the service's own API refuses it, 401 (asking for a Bearer
  // key) or 403.
  virtual Reply KeyRefused(const Call& call, Admission admission) const;
  // What every answer of this door carries: by default the pages' security
  // headers (AddPageHeaders), which every door keeps.
  virtual void Decorate(Reply& reply) const;
};

// The decoration of an answer of `door`; with none (no route took the
// request), the pages' security headers alone.
void Decorate(const Door* door, Reply& reply);

// One row of the route table: the methods and path it takes, the role the
// dispatcher admits it with (Role::kNone: no key looked at, or the door reads
// its key its own way), the door that answers it, and whether it is answered
// whatever host the request names (--allowed-hosts).
struct Route {
  unsigned methods;
  std::string_view pattern;
  Role role;
  Door* door;
  std::optional<Reply> (*answer)(Door& door, Call& call);
  bool anyHost = false;
};

// A row answered by `Handler`, a member of `door`'s class:
// RouteTo<&PagesDoor::Redirect>(kRead, "/+", Role::kNone, pages).
template <auto Handler, class D>
Route RouteTo(unsigned methods, std::string_view pattern, Role role, D& door, bool anyHost = false) {
  return {methods, pattern, role, &door, [](Door& any, Call& call) { return (static_cast<D&>(any).*Handler)(call); },
          anyHost};
}

}  // namespace snipora::service
