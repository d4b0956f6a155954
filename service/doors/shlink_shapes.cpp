#include "service/doors/shlink_shapes.h"

#include <algorithm>
#include <iterator>

#include "service/app/replies.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

constexpr char kProblemJson[] = "application/problem+json";

struct ProblemKind {
  ProblemType problem;
  int status;
  const char* type;
  const char* title;
};
constexpr ProblemKind kProblems[] = {
    {ProblemType::kInvalidData, 400, "https://shlink.io/api/error/invalid-data", "Invalid data"},
    {ProblemType::kNonUniqueSlug, 400, "https://shlink.io/api/error/non-unique-slug", "Invalid custom slug"},
    {ProblemType::kShortUrlNotFound, 404, "https://shlink.io/api/error/short-url-not-found", "Short URL not found"},
    {ProblemType::kMissingKey, 401, "https://shlink.io/api/error/missing-authentication", "Invalid authorization"},
    {ProblemType::kInvalidKey, 401, "https://shlink.io/api/error/invalid-api-key", "Invalid API key"},
    {ProblemType::kForbidden, 403, "about:blank", "Forbidden"},
    {ProblemType::kTooLarge, 413, "about:blank", "Content Too Large"},
    {ProblemType::kRateLimited, 429, "about:blank", "Too Many Requests"},
    {ProblemType::kUnavailable, 503, "about:blank", "Service Unavailable"},
    {ProblemType::kNotOffered, 501, "about:blank", "Not Implemented"},
    {ProblemType::kNoRoute, 404, "https://shlink.io/api/error/not-found", "Not found"},
};

}  // namespace

Reply ProblemDetails(ProblemType problem, std::string_view detail, Json extra) {
  const ProblemKind& kind = *std::find_if(std::begin(kProblems), std::end(kProblems),
                                          [problem](const ProblemKind& row) { return row.problem == problem; });
  Json body = {{"type", kind.type}, {"title", kind.title}, {"detail", std::string(detail)}, {"status", kind.status}};
  for (auto& [name, value] : extra.items()) body[name] = value;
  Reply reply{kind.status, kProblemJson, JsonText(body), {}};
  if (problem == ProblemType::kRateLimited) return RetryLater(std::move(reply), kRateLimitRetryAfter);
  if (problem == ProblemType::kUnavailable) return RetryLater(std::move(reply));
  return reply;
}

Reply InvalidData(std::string_view detail, const std::vector<std::string>& elements) {
  return ProblemDetails(ProblemType::kInvalidData, detail, {{"invalidElements", elements}});
}

Reply ShortUrlNotFound(std::string_view code) {
  return ProblemDetails(ProblemType::kShortUrlNotFound, "No short URL has the code \"" + std::string(code) + "\".",
                        {{"shortCode", std::string(code)}});
}

Reply StoreFailed() {
  return ProblemDetails(ProblemType::kUnavailable, "The store of short URLs does not answer; nothing was changed.");
}

const Domain* ShlinkDomain(const Domains& domains, const std::string* name) {
  if (!name || *name == "DEFAULT") return &domains.Default();
  return domains.Find(*name);
}

Json DomainsJson(const Domains& domains) {
  // a host that is none of the domains answers 404, whatever the domain
  const Json none = {{"baseUrlRedirect", nullptr}, {"regular404Redirect", nullptr}, {"invalidShortUrlRedirect", nullptr}};
  Json data = Json::array();
  for (const Domain& domain : domains.all())
    data.push_back({{"domain", domain.host}, {"isDefault", &domain == &domains.Default()}, {"redirects", none}});
  return {{"domains", {{"data", std::move(data)}, {"defaultRedirects", none}}}};
}

Json ShortUrlJson(const Link& link, int64_t clicks, const std::string& shortUrl) {
  const auto maybe = [](const std::optional<int64_t>& value, bool time) {
    return value ? (time ? Json(IsoUtcWithOffset(*value)) : Json(*value)) : Json(nullptr);
  };
  return {
      {"shortCode", link.code},
      {"shortUrl", shortUrl},
      {"longUrl", link.address},
      {"dateCreated", IsoUtcWithOffset(link.created)},
      {"tags", link.tags},
      {"meta", {{"validSince", nullptr}, {"validUntil", maybe(link.expires, true)},
                {"maxVisits", maybe(link.maxClicks, false)}}},
      {"domain", link.domain.empty() ? Json(nullptr) : Json(link.domain)},
      {"title", link.title.empty() ? Json(nullptr) : Json(link.title)},
      {"crawlable", false},
      {"forwardQuery", false},
      {"visitsSummary", {{"total", clicks}, {"nonBots", clicks}, {"bots", 0}}},
      {"hasRedirectRules", false},
  };
}

}  // namespace snipora::service
