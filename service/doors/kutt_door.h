#pragma once
// The Kutt v2 API (/api/v2) that Kutt's npm client, its browser extension and
// upload tools speak: links created, listed, changed and deleted over the
// creation and management path every door shares; the key in X-API-KEY;
// errors as {"error": "..."}. A link's id is its short code: the service
// has no other name for a link, and Kutt's clients pass back the id they got.
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class KuttDoor final : public Door {
 public:
  explicit KuttDoor(Operations& operations) : operations_(operations) {}
  // Kutt's 401 (asking for X-API-KEY) and 403.
  Reply KeyRefused(const Call& call, Admission admission) const override;

  std::optional<Reply> Create(Call& call);  // POST /api/v2/links
  std::optional<Reply> List(Call& call);    // GET /api/v2/links
  std::optional<Reply> Edit(Call& call);    // PATCH /api/v2/links/ID
  std::optional<Reply> Delete(Call& call);  // DELETE /api/v2/links/ID
  std::optional<Reply> Stats(Call& call);   // GET /api/v2/links/ID/stats
  std::optional<Reply> Health(Call& call);  // GET /api/v2/health
  std::optional<Reply> User(Call& call);    // GET /api/v2/users

 private:
  // Nothing when the X-API-KEY may take a route needing `role`; else Kutt's refusal.
  std::optional<Reply> Admit(Call& call, Role role);

  Operations& operations_;
};

}  // namespace snipora::service
