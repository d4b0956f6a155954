#pragma once
// Shlink's REST API v3, as its clients speak it: short URLs created, read,
// listed, changed and deleted under /rest/v3/short-urls with the key in
// X-Api-Key, the single-step shorten with the key in the query, health, and
// RFC 7807 problem details for every refusal (shlink_shapes.h); what Shlink
// offers and this service does not is answered as such. The checks, keys
// and store calls are the shared operations'; this door only reads Shlink's
// requests and writes Shlink's shapes.
#include <optional>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

class ShlinkDoor final : public Door {
 public:
  explicit ShlinkDoor(Operations& operations) : operations_(operations) {}
  // Shlink's missing-authentication, invalid-api-key, or 403.
  Reply KeyRefused(const Call& call, Admission admission) const override;
  // Shlink's web client runs on another origin: every answer here lets any
  // origin read it (the key travels in a header, never in a cookie, so no
  // origin gains a user's rights), deferred creations' too.
  void Decorate(Reply& reply) const override;

  std::optional<Reply> Create(Call& call);      // POST /rest/v3/short-urls
  std::optional<Reply> Shorten(Call& call);     // GET /rest/v3/short-urls/shorten
  std::optional<Reply> List(Call& call);        // GET /rest/v3/short-urls (shlink_list.cpp)
  std::optional<Reply> Get(Call& call);         // GET /rest/v3/short-urls/CODE
  std::optional<Reply> Edit(Call& call);        // PATCH /rest/v3/short-urls/CODE
  std::optional<Reply> Delete(Call& call);      // DELETE /rest/v3/short-urls/CODE
  std::optional<Reply> ListDomains(Call& call); // GET /rest/v3/domains
  std::optional<Reply> Health(Call& call);      // GET /rest/v3/health, /rest/health
  std::optional<Reply> Preflight(Call& call);   // OPTIONS /rest/...
  std::optional<Reply> NotOffered(Call& call);  // the rest under /rest/

 private:
  // Nothing when X-Api-Key admits the call to `role`; else the problem.
  std::optional<Reply> Admit(Call& call, Role role);
  // A creation answered as a short URL's JSON, or (`text`) its address alone.
  std::optional<Reply> Make(Call& call, CreationAsk ask, bool text);

  Operations& operations_;
};

}  // namespace snipora::service
