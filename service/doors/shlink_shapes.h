#pragma once
// What Shlink's clients read (shlink_door.h): RFC 7807 problem details for
// every refusal, and a short URL's JSON.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/base/service_names.h"
#include "service/core/json_body.h"
#include "service/http/exchange.h"
#include "service/store/store.h"

namespace snipora::service {

// Every refusal the door makes, once: Shlink's problem types where Shlink
// has one, "about:blank" (the title being the status's phrase) where Shlink
// has no such refusal.
enum class ProblemType {
  kInvalidData, kNonUniqueSlug, kShortUrlNotFound, kMissingKey, kInvalidKey, kForbidden, kTooLarge, kRateLimited,
  kUnavailable, kNotOffered, kNoRoute,
};
// application/problem+json: type, title, detail, status, and `extra`'s
// members; 429 and 503 with Retry-After.
Reply ProblemDetails(ProblemType problem, std::string_view detail, Json extra = Json::object());
// invalid-data, naming the members or parameters at fault.
Reply InvalidData(std::string_view detail, const std::vector<std::string>& elements);
// short-url-not-found, naming the code.
Reply ShortUrlNotFound(std::string_view code);
Reply StoreFailed();
// GET /rest/v3/domains: every domain, none with redirects of its own.
Json DomainsJson(const Domains& domains);

// The domain a Shlink request names (a member, a query parameter): none,
// null or "DEFAULT" the default one, else a served one by its host; null
// when it names none of them.
const Domain* ShlinkDomain(const Domains& domains, const std::string* name);

// A short URL as Shlink shapes it: its domain null on the default one, as
// Shlink's is; this service keeps no start of validity, does not tell bots
// from people, serves no robots rules per link and does not pass the short
// URL's query on: those members say so.
Json ShortUrlJson(const Link& link, int64_t clicks, const std::string& shortUrl);

}  // namespace snipora::service
