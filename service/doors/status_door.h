#pragma once
// The door of operators and their tools: GET /healthz for load balancers and
// monitors, GET /metrics for Prometheus.
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class StatusDoor final : public Door {
 public:
  explicit StatusDoor(Operations& operations) : operations_(operations) {}

  // 200 "ok" while creations and redirects can be answered, else 503 with
  // one line saying why; ?ready=redirects: 200 while cached redirects are.
  std::optional<Reply> Health(Call& call);
  // Counters and latency histograms, Prometheus text format.
  std::optional<Reply> MetricsText(Call& call);

 private:
  Operations& operations_;
};

}  // namespace snipora::service
