#include "service/doors/status_door.h"

#include <algorithm>

#include "service/app/replies.h"
#include "service/core/request.h"

namespace snipora::service {

std::optional<Reply> StatusDoor::Health(Call& call) {
  const Readiness ready = operations_.Ready();
  // ?ready=redirects: a load balancer may keep an instance that can only
  // redirect (from its cache) for the redirects
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  const bool redirectsOnly = fields && std::any_of(fields->begin(), fields->end(), [](const Field& field) {
                               return field.name == "ready" && field.value == "redirects";
                             });
  if (ready.creations) return Reply{200, kText, "ok\n", {}};
  if (redirectsOnly && ready.redirects) return Reply{200, kText, "ok: cached redirects; " + ready.why + "\n", {}};
  return RetryLater(Reply{503, kText, ready.why + "\n", {}});
}

std::optional<Reply> StatusDoor::MetricsText(Call&) {
  return Reply{200, "text/plain; version=0.0.4", operations_.MetricsText(), {}};
}

}  // namespace snipora::service
