#pragma once
// What the service answers, behind the transport (http/transport.h): the
// dispatcher of the route table. Each row (door.h) names its methods, path
// pattern, the role it needs and the door that answers it; the doors
// (doors/) take a call and make a reply over the shared operations
// (operations.h), knowing nothing of libmicrohttpd. The first row whose
// methods and pattern fit a request takes it; a path no row takes is
// answered 405 (any method but GET and HEAD: the last row takes every GET).
// Targets are accepted in origin form and in absolute form (through a proxy).
// The routes themselves are listed in doors/route_table.cpp and docs/api.md.
#include <optional>
#include <vector>

#include "service/core/allowed_hosts.h"
#include "service/app/call.h"
#include "service/app/door.h"
#include "service/app/operations.h"
#include "service/http/exchange.h"

namespace snipora::service {

class Application final : public RequestHandler {
 public:
  Application(Operations& operations, std::vector<Route> routes);

  std::optional<Reply> Handle(HttpRequest& request) override;

 private:
  std::optional<Reply> Dispatch(Call& call);
  // Nothing when the call may take `route` (its key, as Authorization:
  // Bearer KEY, is right and its role enough); else the route's door's
  // refusal: 401 for a missing, wrong or revoked key, alike; 403 for too
  // small a role.
  std::optional<Reply> Admit(Call& call, const Route& route);
  // Whether the call names a host this service answers for, or none.
  bool ForAllowedHost(const Call& call) const;

  Operations& operations_;
  const std::vector<Route> routes_;
  const AllowedHosts allowedHosts_;  // a request's Host must be one (421)
  const Route* codeRoute_ = nullptr;  // where a code-shaped path goes, unless it is one of:
  std::vector<std::string_view> codeShapedRows_;
};

}  // namespace snipora::service
