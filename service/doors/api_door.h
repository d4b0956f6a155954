#pragma once
// The service's own JSON API, /api/v1/links: creating, reading, listing,
// changing and deleting links, and their clicks per day. The key comes as
// Authorization: Bearer KEY (the route table's roles); errors are
// {"error":{"code","message"}}.
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class ApiDoor final : public Door {
 public:
  explicit ApiDoor(Operations& operations) : operations_(operations) {}

  std::optional<Reply> Create(Call& call);     // POST /api/v1/links {"url","alias"}
  std::optional<Reply> List(Call& call);       // GET /api/v1/links
  std::optional<Reply> Info(Call& call);       // GET /api/v1/links/CODE
  std::optional<Reply> Change(Call& call);     // PATCH /api/v1/links/CODE
  std::optional<Reply> Delete(Call& call);     // DELETE /api/v1/links/CODE
  std::optional<Reply> Stats(Call& call);      // GET /api/v1/links/CODE/stats
  std::optional<Reply> UnknownCodes(Call& call);  // GET /api/v1/stats/unknown
  std::optional<Reply> Release(Call& call);    // POST /api/v1/links/CODE/release (admin)
  std::optional<Reply> TakeDown(Call& call);   // POST /api/v1/links/CODE/takedown (admin)

 private:
  Operations& operations_;
};

}  // namespace snipora::service
