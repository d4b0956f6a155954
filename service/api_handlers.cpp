// Managing links through the API: read, list, change, delete, statistics.
#include "service/application.h"

#include <ctime>
#include <string>
#include <vector>

#include "service/codes.h"
#include "service/core/address_form.h"
#include "service/core/json_body.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/link_admin.h"
#include "service/log.h"
#include "service/replies.h"

namespace snipora::service {

std::optional<Reply> Application::LinkInfo(Call& call) {
  const std::string_view code = call.capture;
  if (!IsValidCode(code)) return ApiError(404, "not_found", "No such code.");
  std::optional<Link> link;
  if (!FromStore("reading link " + std::string(code), [&] { link = parts_.store.FindCode(code); }))
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  if (!link) return ApiError(404, "not_found", "No such code.");
  const bool full = call.caller && (call.caller->role == Role::kAdmin || call.caller->name == link->owner);
  return Reply{200, kJson, JsonText(LinkJson(*link, ClicksOf(*link), full)) + "\n", {}};
}

std::optional<Reply> Application::ListLinks(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return ApiError(400, "bad_query", "The query has a malformed %-escape.");
  LinkFilter filter;
  filter.query.limit = 100;
  for (const Field& field : *fields) {
    const auto bad = [&](std::string_view what) {
      return ApiError(400, "bad_query", field.name + " takes " + std::string(what) + ".");
    };
    if (field.name == "limit") {
      const std::optional<long long> limit = ParseTime(field.value);  // a whole number
      if (!limit || *limit < 1 || *limit > kMaxListLimit) return bad("1 to 1000");
      filter.query.limit = int(*limit);
    } else if (field.name == "cursor") {
      filter.query.after = field.value;
    } else if (field.name == "offset") {
      const std::optional<long long> offset = ParseTime(field.value);
      if (!offset || *offset < 0 || *offset > 1000000) return bad("0 to 1000000");
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
    } else if (field.name != "lang") {
      return ApiError(400, "bad_query", "Unknown parameter " + field.name + ".");
    }
  }
  const std::optional<LinkPage> page = ListFor(call, std::move(filter));
  if (!page) return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  Json links = Json::array();
  for (const Link& link : page->links) links.push_back(LinkJson(link, ClicksOf(link), true));
  const Json next = page->next ? Json(*page->next) : Json(nullptr);
  return Reply{200, kJson, JsonText(Json::object({{"links", std::move(links)}, {"next", next}})) + "\n", {}};
}

int64_t Application::ClicksOf(const Link& link) const { return link.clicks + parts_.cache.PendingClicks(link.code); }

std::optional<LinkPage> Application::ListFor(Call& call, LinkFilter filter) {
  // a creator sees its own links
  if (!call.caller || call.caller->role != Role::kAdmin) filter.query.owner = call.caller ? call.caller->name : "";
  std::optional<LinkPage> page;
  FromStore("listing links", [&] { page = FindLinks(parts_.store, filter); });
  return page;
}

Application::Managed Application::ManagedLink(Call& call, std::string_view code, std::string_view what) {
  if (!IsValidCode(code)) return {std::nullopt, Problem::kNotFound};
  std::optional<Link> link;
  if (!FromStore(std::string(what) + " " + std::string(code), [&] { link = parts_.store.FindCode(code); }))
    return {std::nullopt, Problem::kStoreFailed};
  if (!link) return {std::nullopt, Problem::kNotFound};
  if (!call.caller || (call.caller->role != Role::kAdmin && call.caller->name != link->owner))
    return {std::nullopt, Problem::kNotOwner};
  return {std::move(link)};
}

Application::Managed Application::EditLink(Call& call, std::string_view code, LinkChange change) {
  if (change.address) {
    if (!call.caller || call.caller->role != Role::kAdmin) return {std::nullopt, Problem::kForbidden};
    const std::shared_ptr<const DenyList> denied = parts_.denyList();
    const StoredForm check = AcceptAddress(*change.address, ownHosts_, *denied);
    if (check.refusal != Refusal::kAccepted) return {std::nullopt, Problem::kAddressRefused, check.refusal};
    change.address = check.address;
  }
  Managed managed = ManagedLink(call, code, "changing");
  if (managed.problem != Problem::kNone) return managed;
  ChangeResult result;
  if (!FromStore("changing " + std::string(code), [&] { result = parts_.store.ChangeLink(code, change); }))
    return {std::nullopt, Problem::kStoreFailed};
  // this instance answers with the change from here on; the others within a second
  parts_.cache.Drop(code);
  switch (result.outcome) {
    case ChangeResult::kNotFound: return {std::nullopt, Problem::kNotFound};
    case ChangeResult::kAddressTaken: return {std::nullopt, Problem::kAddressTaken};
    case ChangeResult::kChanged: break;
  }
  return {std::move(result.link)};
}

Application::Problem Application::RemoveLink(Call& call, std::string_view code) {
  const Managed managed = ManagedLink(call, code, "deleting");
  if (managed.problem != Problem::kNone) return managed.problem;
  bool deleted = false;
  if (!FromStore("deleting " + std::string(code), [&] { deleted = parts_.store.DeleteLink(code); }))
    return Problem::kStoreFailed;
  parts_.cache.Drop(code);
  return deleted ? Problem::kNone : Problem::kNotFound;
}

Reply Application::ProblemReply(const Managed& managed) {
  switch (managed.problem) {
    case Problem::kNotFound: return ApiError(404, "not_found", "No such code.");
    case Problem::kNotOwner: return ApiError(403, "not_owner", "This link was made with another key.");
    case Problem::kForbidden: return ApiError(403, "forbidden", "Only an admin key may change a link's address.");
    case Problem::kAddressRefused: return ApiError(400, "address_refused", RefusalText(managed.refusal));
    case Problem::kAddressTaken: return ApiError(409, "address_has_code", "That address has another short code.");
    case Problem::kNone:
    case Problem::kStoreFailed: break;
  }
  return RetryLater(ApiError(503, "store_unavailable", "The store does not answer; nothing was changed."));
}

std::optional<Reply> Application::ChangeLink(Call& call) {
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", "The body is larger than this service accepts.");
  ChangeRequest request = ReadLinkChange(call.http.body);
  if (!request.change) return ApiError(400, "bad_change", request.error);
  const Managed managed = EditLink(call, call.capture, std::move(*request.change));
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  return Reply{200, kJson, JsonText(LinkJson(*managed.link, ClicksOf(*managed.link), true)) + "\n", {}};
}

namespace {

constexpr int64_t kSecondsADay = 86400;
// The most days one answer covers.
constexpr int64_t kMaxStatsDays = 3660;

// A day as 2026-12-09, or a time of it (or seconds), as a day since 1970.
std::optional<int64_t> ParseDay(const std::string& text) {
  std::optional<long long> at = ParseTime(text.size() == 10 ? text + "T00:00:00Z" : text);
  if (!at) return std::nullopt;
  return *at >= 0 ? *at / kSecondsADay : (*at - kSecondsADay + 1) / kSecondsADay;
}
std::string DayText(int64_t day) { return IsoUtc(day * kSecondsADay).substr(0, 10); }

}  // namespace

std::optional<Reply> Application::LinkStats(Call& call) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return ApiError(400, "bad_query", "The query has a malformed %-escape.");
  std::optional<int64_t> from, to;
  for (const Field& field : *fields) {
    if (field.name != "from" && field.name != "to") {
      if (field.name == "lang") continue;
      return ApiError(400, "bad_query", "Unknown parameter " + field.name + ".");
    }
    const std::optional<int64_t> day = ParseDay(field.value);
    if (!day) return ApiError(400, "bad_query", field.name + " takes a day (2026-12-31) or a UTC time.");
    (field.name == "from" ? from : to) = day;
  }
  const Managed managed = ManagedLink(call, call.capture, "statistics of");
  if (managed.problem != Problem::kNone) return ProblemReply(managed);
  const Link& link = *managed.link;
  if (!from) from = link.created / kSecondsADay;
  if (!to) to = int64_t(std::time(nullptr)) / kSecondsADay;
  if (*to < *from || *to - *from >= kMaxStatsDays)
    return ApiError(400, "bad_query", "from must not be after to, and they cover 3660 days at most.");
  std::vector<DayCount> days;
  if (!FromStore("statistics of " + link.code, [&] { days = parts_.store.ClicksByDay(link.code, *from, *to); }))
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  int64_t total = 0;
  Json counts = Json::array();
  for (const DayCount& day : days) {
    counts.push_back(Json::object({{"day", DayText(day.day)}, {"clicks", day.clicks}}));
    total += day.clicks;
  }
  const Json stats = Json::object({{"code", link.code},
                                   {"from", DayText(*from)},
                                   {"to", DayText(*to)},
                                   {"days", std::move(counts)},
                                   {"total", total}});
  return Reply{200, kJson, JsonText(stats) + "\n", {}};
}

std::optional<Reply> Application::DeleteLink(Call& call) {
  const Problem problem = RemoveLink(call, call.capture);
  if (problem != Problem::kNone) return ProblemReply({std::nullopt, problem});
  return Reply{200, kJson, JsonText(Json::object({{"deleted", call.capture}})) + "\n", {}};
}

}  // namespace snipora::service
