#include "service/doors/status_door.h"

#include "service/app/replies.h"

namespace snipora::service {

std::optional<Reply> StatusDoor::Health(Call&) {
  if (operations_.StoreHealthy()) return Reply{200, kText, "ok\n", {}};
  return RetryLater(Reply{
      503, kText, "the store does not answer: creations and links not in the cache fail until it is back\n", {}});
}

std::optional<Reply> StatusDoor::MetricsText(Call&) {
  return Reply{200, "text/plain; version=0.0.4", operations_.MetricsText(), {}};
}

}  // namespace snipora::service
