#include "service/doors/api_door.h"

#include <ctime>
#include <string>
#include <vector>

#include "service/app/outcomes.h"
#include "service/app/replies.h"
#include "service/core/address_check.h"
#include "service/core/json_body.h"
#include "service/core/numbers.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/doors/api_link.h"
#include "service/doors/stats_shapes.h"

namespace snipora::service {
namespace {

constexpr int64_t kSecondsADay = 86400;
// The most days one answer covers.
constexpr int64_t kMaxStatsDays = 3660;
// The most links an offset skips.
constexpr int64_t kMaxOffset = 1000000;
// A list's page unless a limit is asked.
constexpr int kDefaultLimit = 100;

// The API's refusal of each managing problem.
struct ProblemRow {
  Problem outcome;
  int status;
  std::string_view code;
  std::string_view message;  // kAddressRefused: the refusal's own
  const char* retryAfter;
};
constexpr std::string_view kNothingChanged = "The store does not answer; nothing was changed.";
constexpr ProblemRow kProblems[] = {
    {Problem::kNone, 503, "store_unavailable", kNothingChanged, kRetryAfter},
    {Problem::kNotFound, 404, "not_found", "No such code.", nullptr},
    {Problem::kNotOwner, 403, "not_owner", "This link was made with another key.", nullptr},
    {Problem::kForbidden, 403, "forbidden", "Only an admin key may change a link's address.", nullptr},
    {Problem::kAddressRefused, 400, "address_refused", "", nullptr},
    {Problem::kAddressTaken, 409, "address_has_code", "That address has another short code.", nullptr},
    {Problem::kStoreFailed, 503, "store_unavailable", kNothingChanged, kRetryAfter},
};
static_assert(CoversEachInOrder(kProblems), "the API's refusals: one row a managing problem, in order");

Reply ProblemReply(const Managed& managed) {
  const ProblemRow& row = RowOf(kProblems, managed.problem);
  Reply reply = ApiError(row.status, row.code,
                         managed.problem == Problem::kAddressRefused ? RefusalText(managed.refusal) : row.message);
  return row.retryAfter ? RetryLater(std::move(reply), row.retryAfter) : reply;
}

// The domain a call's ?domain= names, set on it (none: the host asked on);
// false when it names none of the service's.
bool TakeQueryDomain(Call& call, const Domains& domains) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  const std::string* name = fields ? FindField(*fields, "domain") : nullptr;
  if (!name) return true;
  const Domain* domain = domains.Find(*name);
  if (domain) call.domain = domain;
  return domain;
}
Reply UnknownDomain() { return ApiError(400, "unknown_domain", "That domain is none of this service's."); }

Reply StoreUnavailable() { return RetryLater(ApiError(503, "store_unavailable", "The store does not answer.")); }

// The API's answer to a creation: the new or known link, or the refusal
// with the service's own status, code and sentence.
Reply CreationReply(const CreationOutcome& outcome) {
  const OwnAnswer& own = OwnAnswerOf(outcome.kind);
  if (own.code.empty())
    return JsonReply(own.status, Json::object({{"code", outcome.code},
                                               {"short", outcome.shortAddress},
                                               {"url", outcome.address}}));
  Reply reply = ApiError(OwnStatus(outcome), own.code, OwnSentence(outcome));
  return own.retryAfter ? RetryLater(std::move(reply), own.retryAfter) : reply;
}

// A day as 2026-12-09, or a time of it (or seconds), as a day since 1970.
std::optional<int64_t> ParseDay(const std::string& text) {
  std::optional<long long> at = ParseTime(text.size() == 10 ? text + "T00:00:00Z" : text);
  if (!at) return std::nullopt;
  return *at >= 0 ? *at / kSecondsADay : (*at - kSecondsADay + 1) / kSecondsADay;
}
std::string DayText(int64_t day) { return IsoUtc(day * kSecondsADay).substr(0, 10); }

}  // namespace

std::optional<Reply> ApiDoor::Create(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", kBodyTooLarge);
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return ApiError(400, "bad_json", "The body is not a JSON object of strings.");
  // url and alias as strings; any other kind is as if absent, other members are ignored
  const std::string* url = StringMember(*body, "url");
  const std::string* alias = StringMember(*body, "alias");
  // none: the domain the host asked on names
  if (const std::string* name = StringMember(*body, "domain")) {
    call.domain = operations_.domains().Find(*name);
    if (!call.domain) return UnknownDomain();
  }
  return operations_.CreateLink(call, {url ? *url : "", alias ? *alias : ""}, CreationReply);
}

std::optional<Reply> ApiDoor::Info(Call& call) {
  const std::string_view code = call.capture;
  if (!IsValidCode(code)) return ApiError(404, "not_found", "No such code.");
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const LinkRead read = operations_.ReadLink(call.domain->stored, code, "reading link " + std::string(code));
  if (read.storeFailed) return StoreUnavailable();
  if (!read.link) return ApiError(404, "not_found", "No such code.");
  const Link& link = *read.link;
  const bool full = call.caller && (call.caller->role == Role::kAdmin || call.caller->name == link.owner);
  return JsonReply(200, LinkJson(link, operations_.ClicksOf(link), full));
}

std::optional<Reply> ApiDoor::List(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return ApiError(400, "bad_query", "The query has a malformed %-escape.");
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  LinkFilter filter;
  filter.query.limit = kDefaultLimit;
  for (const Field& field : *fields) {
    const auto bad = [&](std::string_view what) {
      return ApiError(400, "bad_query", field.name + " takes " + std::string(what) + ".");
    };
    if (field.name == "limit") {
      const std::optional<int64_t> limit = ParseWholeNumber(field.value);
      if (!limit || *limit < 1 || *limit > kMaxListLimit) return bad("1 to 1000");
      filter.query.limit = int(*limit);
    } else if (field.name == "cursor") {
      filter.query.after = field.value;
    } else if (field.name == "offset") {
      const std::optional<int64_t> offset = ParseWholeNumber(field.value);
      if (!offset || *offset < 0 || *offset > kMaxOffset) return bad("0 to 1000000");
      filter.offset = std::size_t(*offset);
    } else if (field.name == "created_after" || field.name == "created_before") {
      const std::optional<long long> at = ParseTime(field.value);
      if (!at) return bad("a UTC time from 1970 to 9999 (2026-12-31T00:00:00Z) or seconds since 1970");
      if (field.name == "created_after")
        filter.query.createdFrom = *at + 1;  // strictly after (at is at most kLatestTime)
      else
        filter.query.createdBefore = *at;
    } else if (field.name == "host") {
      filter.host = HostOf(field.value);
    } else if (field.name == "disabled") {
      if (field.value != "true" && field.value != "false") return bad("true or false");
      filter.query.disabled = field.value == "true";
    } else if (field.name != "lang" && field.name != "domain") {
      return ApiError(400, "bad_query", "Unknown parameter " + field.name + ".");
    }
  }
  const std::optional<LinkPage> page = operations_.ListFor(call, std::move(filter));
  if (!page) return StoreUnavailable();
  Json links = Json::array();
  for (const Link& link : page->links) links.push_back(LinkJson(link, operations_.ClicksOf(link), true));
  const Json next = page->next ? Json(*page->next) : Json(nullptr);
  return JsonReply(200, Json::object({{"links", std::move(links)}, {"next", next}}));
}

std::optional<Reply> ApiDoor::Change(Call& call) {
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", kBodyTooLarge);
  ChangeRequest request = ReadLinkChange(call.http.body);
  if (!request.change) return ApiError(400, "bad_change", request.error);
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const Managed managed = operations_.EditLink(call, call.capture, std::move(*request.change));
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  return JsonReply(200, LinkJson(*managed.link, operations_.ClicksOf(*managed.link), true));
}

std::optional<Reply> ApiDoor::Stats(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return ApiError(400, "bad_query", "The query has a malformed %-escape.");
  std::optional<int64_t> from, to;
  for (const Field& field : *fields) {
    if (field.name != "from" && field.name != "to") {
      if (field.name == "lang" || field.name == "domain") continue;
      return ApiError(400, "bad_query", "Unknown parameter " + field.name + ".");
    }
    const std::optional<int64_t> day = ParseDay(field.value);
    if (!day) return ApiError(400, "bad_query", field.name + " takes a day (2026-12-31) or a UTC time.");
    (field.name == "from" ? from : to) = day;
  }
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const Managed managed = operations_.ManagedLink(call, call.capture, "statistics of");
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  const Link& link = *managed.link;
  if (!from) from = link.created / kSecondsADay;
  if (!to) to = int64_t(std::time(nullptr)) / kSecondsADay;
  if (*to < *from || *to - *from >= kMaxStatsDays)
    return ApiError(400, "bad_query", "from must not be after to, and they cover 3660 days at most.");
  const std::optional<LinkStats> stats = operations_.StatsOf(LinkKey(link), *from, *to);
  if (!stats) return StoreUnavailable();
  Json counts = Json::array();
  for (const DayStats& day : stats->days) {
    Json each = Json::object({{"day", DayText(day.day)}, {"clicks", day.clicks}});
    AddStatsMembers(each, day);
    counts.push_back(std::move(each));
  }
  Json answer = Json::object({{"code", link.code},
                              {"from", DayText(*from)},
                              {"to", DayText(*to)},
                              {"days", std::move(counts)},
                              {"total", stats->period.clicks}});
  AddStatsMembers(answer, stats->period);
  return JsonReply(200, std::move(answer));
}

std::optional<Reply> ApiDoor::UnknownCodes(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return ApiError(400, "bad_query", "The query has a malformed %-escape.");
  const int64_t today = int64_t(std::time(nullptr)) / kSecondsADay;
  int64_t from = today, to = today;
  for (const Field& field : *fields) {
    if (field.name == "lang") continue;
    if (field.name != "from" && field.name != "to")
      return ApiError(400, "bad_query", "Unknown parameter " + field.name + ".");
    const std::optional<int64_t> day = ParseDay(field.value);
    if (!day) return ApiError(400, "bad_query", field.name + " takes a day (2026-12-31) or a UTC time.");
    (field.name == "from" ? from : to) = *day;
  }
  if (to < from || to - from >= kMaxStatsDays)
    return ApiError(400, "bad_query", "from must not be after to, and they cover 3660 days at most.");
  const std::optional<UnknownStats> stats = operations_.UnknownStatsOf(from, to);
  if (!stats) return StoreUnavailable();
  Json days = Json::array();
  for (const UnknownStats::Day& day : stats->days)
    days.push_back(Json::object({{"day", DayText(day.day)}, {"visits", day.visits}}));
  Json codes = Json::object();
  for (const auto& [code, count] : stats->codes) codes[code] = count;
  return JsonReply(200, Json::object({{"from", DayText(from)},
                                      {"to", DayText(to)},
                                      {"days", std::move(days)},
                                      {"total", stats->total},
                                      {"codes", std::move(codes)}}));
}

std::optional<Reply> ApiDoor::Release(Call& call) {
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const Managed managed = operations_.ReleaseLink(call, call.capture);
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  return JsonReply(200, LinkJson(*managed.link, operations_.ClicksOf(*managed.link), true));
}

std::optional<Reply> ApiDoor::TakeDown(Call& call) {
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const Managed managed = operations_.TakeDownLink(call, call.capture);
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  return JsonReply(200, LinkJson(*managed.link, operations_.ClicksOf(*managed.link), true));
}

std::optional<Reply> ApiDoor::Delete(Call& call) {
  if (!TakeQueryDomain(call, operations_.domains())) return UnknownDomain();
  const Problem problem = operations_.RemoveLink(call, call.capture);
  if (problem != Problem::kNone) return ProblemReply({std::nullopt, problem});
  return JsonReply(200, Json::object({{"deleted", call.capture}}));
}

}  // namespace snipora::service
