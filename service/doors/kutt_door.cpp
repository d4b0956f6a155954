// Kutt's requests read and its shapes written; the checks, keys and store
// calls are the shared operations'.
#include "service/doors/kutt_door.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "service/app/outcomes.h"
#include "service/app/replies.h"
#include "service/app/top_k.h"
#include "service/core/json_body.h"
#include "service/core/numbers.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/doors/stats_shapes.h"

namespace snipora::service {
namespace {

// A description is a link's title, bounded as every door bounds it (kMaxTitle;
// Kutt's 2040 characters are more). Kutt's own bounds: expiries at least a
// minute away, lists of 10 links unless asked and 50 at most.
constexpr double kMinExpirySeconds = 60;
// Far enough for any client; a duration beyond is refused, never wrapped.
constexpr double kMaxExpirySeconds = 100 * 366 * 86400.0;
constexpr int kDefaultLimit = 10;
constexpr int kMaxLimit = 50;
// Lists are newest first, as Kutt's, so a page is chosen from every link the
// key may see: this bounds what one answer holds while choosing.
constexpr std::size_t kMaxSkip = 10000;

constexpr std::string_view kExpiryForm = "Expire format is invalid. Valid examples: 1m, 8h, 42 days.";

Reply KuttError(int status, std::string_view message) {
  return JsonReply(status, Json{{"error", std::string(message)}});
}

using Kind = CreationOutcome::Kind;

// Kutt's answer to each creation outcome: its status (Kutt refuses every bad
// address and custom address with 400; the browser extension shows the
// message of a 400 alone), and how long a client is asked to wait. A
// refusal's message is the service's own sentence.
struct CreationRow {
  Kind outcome;
  int status;
  const char* retryAfter;  // null: none
};
constexpr CreationRow kCreations[] = {
    {Kind::kCreated, 201, nullptr},
    {Kind::kKnown, 200, nullptr},  // Kutt's reuse: the link the address has
    {Kind::kRateLimited, 429, kRateLimitRetryAfter},
    {Kind::kAddressRefused, 400, nullptr},
    {Kind::kAliasInvalid, 400, nullptr},
    {Kind::kDetailsTooLong, 400, nullptr},
    {Kind::kAliasTaken, 400, nullptr},
    {Kind::kAddressHasCode, 400, nullptr},
    {Kind::kStoreFailed, 503, kRetryAfter},
};
static_assert(CoversEachInOrder(kCreations), "Kutt's creations: one row a creation outcome, in order");

// Kutt's refusal of each managing problem.
struct ProblemRow {
  Problem outcome;
  int status;
  std::string_view message;  // kAddressRefused: the refusal's own
  const char* retryAfter;
};
constexpr std::string_view kNothingChanged = "The store does not answer; nothing was changed.";
constexpr ProblemRow kProblems[] = {
    {Problem::kNone, 503, kNothingChanged, kRetryAfter},
    {Problem::kNotFound, 404, "Link was not found.", nullptr},
    {Problem::kNotOwner, 403, "This link was made with another key.", nullptr},
    {Problem::kForbidden, 403, "Only an admin key may change a link's target.", nullptr},
    {Problem::kAddressRefused, 400, "", nullptr},
    {Problem::kAddressTaken, 400, "That target has another short link already.", nullptr},
    {Problem::kStoreFailed, 503, kNothingChanged, kRetryAfter},
};
static_assert(CoversEachInOrder(kProblems), "Kutt's refusals: one row a managing problem, in order");

Reply KuttRefused(const CreationOutcome& outcome) {
  const CreationRow& row = RowOf(kCreations, outcome.kind);
  Reply reply = KuttError(row.status, OwnSentence(outcome));
  return row.retryAfter ? RetryLater(std::move(reply), row.retryAfter) : reply;
}

Reply KuttProblem(Problem problem, Refusal refusal) {
  const ProblemRow& row = RowOf(kProblems, problem);
  Reply reply = KuttError(row.status, problem == Problem::kAddressRefused ? RefusalText(refusal) : row.message);
  return row.retryAfter ? RetryLater(std::move(reply), row.retryAfter) : reply;
}

// A member that is there and not null: Kutt's clients send null for "none".
const Json* Given(const Json& object, std::string_view name) {
  const auto found = object.find(name);
  return found == object.end() || found->is_null() ? nullptr : &*found;
}
// null, false and "" all say "none" in Kutt's optional fields.
bool Falsy(const Json* value) {
  return !value || (value->is_boolean() && !value->get<bool>()) ||
         (value->is_string() && value->get_ref<const std::string&>().empty());
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// Kutt reads an address without a scheme as http.
std::string WithScheme(std::string_view target) {
  const std::size_t colon = target.find(':');
  const bool scheme = colon != std::string_view::npos && colon > 0 &&
                      std::all_of(target.begin(), target.begin() + colon, [](char c) {
                        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                      });
  if (scheme || target.starts_with("//")) return std::string(target);
  return "http://" + std::string(target);
}

// The units of Kutt's durations (the ms package's), in seconds.
struct DurationUnit {
  std::string_view name;
  double seconds;
};
constexpr DurationUnit kDurationUnits[] = {
    {"milliseconds", 0.001}, {"millisecond", 0.001}, {"msecs", 0.001}, {"msec", 0.001}, {"ms", 0.001},
    {"seconds", 1},          {"second", 1},          {"secs", 1},      {"sec", 1},      {"s", 1},
    {"minutes", 60},         {"minute", 60},         {"mins", 60},     {"min", 60},     {"m", 60},
    {"hours", 3600},         {"hour", 3600},         {"hrs", 3600},    {"hr", 3600},    {"h", 3600},
    {"days", 86400},         {"day", 86400},         {"d", 86400},     {"weeks", 604800},
    {"week", 604800},        {"w", 604800},          {"years", 31557600}, {"year", 31557600},
    {"yrs", 31557600},       {"yr", 31557600},       {"y", 31557600},
};

// A duration as Kutt reads one: a number ("2", "1.5", ".5", "-3"), spaces,
// and a unit in any case ("2 hours", "30m", "1 Day"); no unit is
// milliseconds. Seconds; nothing for any other text.
std::optional<double> DurationSeconds(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.size() > 100) return std::nullopt;
  std::size_t at = text.front() == '-' ? 1 : 0;
  const auto digits = [&] {
    const std::size_t from = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at - from;
  };
  const std::size_t whole = digits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    if (digits() == 0) return std::nullopt;
  } else if (whole == 0) {
    return std::nullopt;
  }
  double number = 0;
  if (std::from_chars(text.data(), text.data() + at, number).ec != std::errc()) return std::nullopt;
  while (at < text.size() && text[at] == ' ') ++at;
  const std::string_view unit = text.substr(at);
  if (unit.empty()) return number / 1000;
  for (const DurationUnit& known : kDurationUnits)
    if (SameNoCase(unit, known.name)) return number * known.seconds;
  return std::nullopt;
}

// When a link given `expire_in` ends: now and the duration, at least a
// minute; the sentence of its refusal otherwise.
struct Expiry {
  std::optional<int64_t> at;
  std::string_view error;
};
Expiry ExpiryOf(const Json& value, int64_t now) {
  const std::optional<double> seconds =
      value.is_string() ? DurationSeconds(value.get_ref<const std::string&>()) : std::nullopt;
  if (!seconds || !std::isfinite(*seconds)) return {std::nullopt, kExpiryForm};
  if (*seconds < kMinExpirySeconds) return {std::nullopt, "Expire time should be more than 1 minute."};
  if (*seconds > kMaxExpirySeconds) return {std::nullopt, "Expire time should be less than 100 years."};
  const int64_t at = now + int64_t(std::llround(*seconds));
  if (!InTimeRange(at)) return {std::nullopt, "Expire time should end before the year 10000."};
  return {at};
}

// A time as JavaScript writes dates, as Kutt's answers carry them.
std::string JsDate(int64_t seconds) {
  std::string text = IsoUtc(seconds);
  text.insert(text.size() - 1, ".000");
  return text;
}

// Kutt's link. It has no time of the last change: updated_at is when it was
// made. `banned` is a link taken down (disabled).
Json KuttLink(const Link& link, int64_t clicks, const std::string& shortAddress) {
  return Json{
      {"id", link.code},
      {"address", link.code},
      {"target", link.address},
      {"link", shortAddress},
      {"description", link.title.empty() ? Json(nullptr) : Json(link.title)},
      {"password", false},
      {"banned", link.disabled},
      {"visit_count", clicks},
      {"expire_in", link.expires ? Json(JsDate(*link.expires)) : Json(nullptr)},
      {"created_at", JsDate(link.created)},
      {"updated_at", JsDate(link.created)},
  };
}

// What Kutt's link fields ask beyond the address, read alike at creation and
// change; `error` set when one of them is refused.
struct LinkFields {
  std::string description;            // "": none given
  std::optional<int64_t> expires;     // none: none given
  std::string error;
};
LinkFields ReadLinkFields(const Json& body) {
  LinkFields fields;
  if (!Falsy(Given(body, "password"))) {
    fields.error = "Passwords are not supported by this service: send password as null or leave it out.";
    return fields;
  }
  if (const Json* description = Given(body, "description"); !Falsy(description)) {
    if (!description->is_string()) {
      fields.error = "Description must be a string.";
      return fields;
    }
    fields.description = Trimmed(description->get_ref<const std::string&>());
    if (!TitleFits(fields.description)) {
      fields.error = "Description takes text of up to 1000 bytes.";
      return fields;
    }
  }
  if (const Json* expireIn = Given(body, "expire_in"); !Falsy(expireIn)) {
    const Expiry expiry = ExpiryOf(*expireIn, std::time(nullptr));
    if (!expiry.at) {
      fields.error = expiry.error;
      return fields;
    }
    fields.expires = expiry.at;
  }
  return fields;
}

// Newest first, as Kutt lists; codes break ties so that pages never overlap.
bool Newer(const Link& a, const Link& b) { return a.created != b.created ? a.created > b.created : a.code > b.code; }

}  // namespace

Reply KuttDoor::KeyRefused(const Call&, Admission admission) const {
  if (admission == Admission::kForbidden) return KuttError(403, kRoleTooSmall);
  Reply reply = admission == Admission::kNoKey ? KuttError(401, "An API key is needed, in the X-API-KEY header.")
                                               : KuttError(401, "API key is not correct.");
  reply.headers.push_back({"WWW-Authenticate", "X-API-KEY realm=\"snipora\""});
  return reply;
}

std::optional<Reply> KuttDoor::Admit(Call& call, Role role) {
  const char* key = call.http.Header("X-API-KEY");
  const Admission admission = operations_.Authorize(call, key ? key : "", role);
  if (admission == Admission::kAdmitted) return std::nullopt;
  return KeyRefused(call, admission);
}

std::optional<Reply> KuttDoor::Create(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (std::optional<Reply> refused = Admit(call, Role::kCreation)) return refused;
  const auto bad = [this](std::string_view why) {
    Metrics::Add(operations_.metrics().refused);
    return KuttError(400, why);
  };
  if (call.http.bodyTooLarge) return KuttError(413, kBodyTooLarge);
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return bad("The body is not a JSON object.");
  const Json* target = Given(*body, "target");
  if (Falsy(target)) return bad("Target is missing.");
  if (!target->is_string()) return bad("Target must be a string.");
  std::string alias;
  if (const Json* customurl = Given(*body, "customurl"); !Falsy(customurl)) {
    if (!customurl->is_string()) return bad("Custom URL is not valid.");
    alias = Trimmed(customurl->get_ref<const std::string&>());
  }
  if (const Json* reuse = Given(*body, "reuse"); reuse && !reuse->is_boolean()) return bad("Reuse must be boolean.");
  // Kutt's "domain" names one of the domains; none: the default
  call.domain = &operations_.domains().Default();
  if (const Json* domain = Given(*body, "domain"); !Falsy(domain)) {
    if (!domain->is_string()) return bad("Domain should be string.");
    call.domain = operations_.domains().Find(domain->get_ref<const std::string&>());
    if (!call.domain) {
      std::string served;
      for (const Domain& one : operations_.domains().all()) served += (served.empty() ? "" : ", ") + one.host;
      const bool one = operations_.domains().all().size() == 1;
      return bad("You can't use this domain: this service's links are on " + served + (one ? " alone." : "."));
    }
  }
  LinkFields fields = ReadLinkFields(*body);
  if (!fields.error.empty()) return bad(fields.error);
  CreationAsk ask{WithScheme(Trimmed(target->get_ref<const std::string&>())), std::move(alias), fields.description, {},
                  fields.expires, std::nullopt};
  return operations_.CreateLink(call, ask, [this, ask](const CreationOutcome& outcome) {
    const CreationRow& row = RowOf(kCreations, outcome.kind);
    if (outcome.kind == Kind::kCreated)
      return JsonReply(row.status, KuttLink(CreatedLink(ask, outcome), 0, outcome.shortAddress));
    if (outcome.kind != Kind::kKnown) return KuttRefused(outcome);
    // Kutt's reuse: the link the address has, as it is stored
    const LinkRead read = operations_.ReadLink(outcome.domain, outcome.code, "reading back " + outcome.code);
    if (read.link)
      return JsonReply(row.status, KuttLink(*read.link, operations_.ClicksOf(*read.link), outcome.shortAddress));
    return RetryLater(KuttError(503, "The link could not be read back; try again."));
  });
}

std::optional<Reply> KuttDoor::List(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return KuttError(400, "The query has a malformed %-escape.");
  int64_t limit = kDefaultLimit, skip = 0;
  bool all = false;
  for (const Field& field : *fields) {
    if (field.name == "limit") {
      const std::optional<int64_t> number = ParseWholeNumber(field.value);
      if (!number || *number < 1) return KuttError(400, "limit query is not valid.");
      limit = std::min<int64_t>(*number, kMaxLimit);  // Kutt caps it too
    } else if (field.name == "skip") {
      const std::optional<int64_t> number = ParseWholeNumber(field.value);
      if (!number || *number < 0 || *number > int64_t(kMaxSkip))
        return KuttError(400, "skip query is not valid: 0 to 10000 (/api/v1/links lists further).");
      skip = *number;
    } else if (field.name == "all") {
      if (field.value != "true" && field.value != "false") return KuttError(400, "all query is not valid.");
      all = field.value == "true";
    } else if (field.name == "search") {
      return KuttError(400, "Searching links is not supported by this service.");
    }
  }
  const bool admin = call.caller->role == Role::kAdmin;
  if (all && !admin) return KuttError(403, "Only an admin key lists every link (all=true).");
  LinkFilter filter;
  if (!all) filter.query.owner = call.caller->name;  // an admin's own, as Kutt lists them
  // Every link the key may see is read, to count them and to keep the
  // newest skip+limit.
  FirstInOrder<Link, decltype(&Newer)> newest(std::size_t(skip + limit), Newer);
  int64_t total = 0;
  // every domain's, as Kutt lists a user's links on all of them
  for (const Domain& domain : operations_.domains().all()) {
    call.domain = &domain;
    const bool read = operations_.ForEachListed(call, filter, [&](Link& link) {
      ++total;
      newest.Offer(std::move(link));
    });
    if (!read) return RetryLater(KuttError(503, "The store does not answer."));
  }
  const std::vector<Link> kept = std::move(newest).Take();
  Json data = Json::array();
  for (std::size_t i = std::size_t(skip); i < kept.size(); ++i)
    data.push_back(KuttLink(kept[i], operations_.ClicksOf(kept[i]), operations_.ShortAddress(kept[i])));
  return JsonReply(200, Json{{"limit", limit}, {"skip", skip}, {"total", total}, {"data", std::move(data)}});
}

std::optional<Reply> KuttDoor::Edit(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  if (call.http.bodyTooLarge) return KuttError(413, kBodyTooLarge);
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return KuttError(400, "The body is not a JSON object.");
  const std::string_view code = call.capture;
  // the short code is what old links and printed QR codes lead to
  for (const char* name : {"address", "customurl"}) {
    const Json* address = Given(*body, name);
    if (!Falsy(address) && (!address->is_string() || address->get_ref<const std::string&>() != code))
      return KuttError(400, "A link's address (its short code) cannot be changed; make a new link instead.");
  }
  LinkFields fields = ReadLinkFields(*body);
  if (!fields.error.empty()) return KuttError(400, fields.error);
  const Json* target = Given(*body, "target");
  if (!Falsy(target) && !target->is_string()) return KuttError(400, "Target must be a string.");
  const Managed current = operations_.ManagedLink(call, code, "changing");
  if (current.problem != Problem::kNone) return KuttProblem(current.problem, current.refusal);
  LinkChange change;
  // a target sent back as it is changes nothing (Kutt's clients send it with every edit)
  if (!Falsy(target)) {
    std::string address = WithScheme(Trimmed(target->get_ref<const std::string&>()));
    if (address != current.link->address) change.address = std::move(address);
  }
  if (!fields.description.empty()) change.title = std::move(fields.description);
  if (fields.expires) change.expires = fields.expires;
  if (!change.address && !change.title && !change.expires)
    return KuttError(400, "Should at least update one field.");
  const Managed managed = operations_.EditLink(call, code, std::move(change));
  if (managed.problem != Problem::kNone) return KuttProblem(managed.problem, managed.refusal);
  const Link& link = *managed.link;
  return JsonReply(200, KuttLink(link, operations_.ClicksOf(link), operations_.ShortAddress(link)));
}

std::optional<Reply> KuttDoor::Delete(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  const Problem problem = operations_.RemoveLink(call, call.capture);
  if (problem != Problem::kNone) return KuttProblem(problem, Refusal::kAccepted);
  return JsonReply(200, Json{{"message", "Link has been deleted successfully."}});
}

// Kutt's statistics of a link, with the link's own members as Kutt gives them.
std::optional<Reply> KuttDoor::Stats(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  const Managed managed = operations_.ManagedLink(call, call.capture, "statistics of");
  if (managed.problem != Problem::kNone) return KuttProblem(managed.problem, managed.refusal);
  const Link& link = *managed.link;
  const int64_t today = int64_t(std::time(nullptr)) / 86400;
  // Kutt's all time; the own API's bound on a period
  const int64_t first = std::max(link.created / 86400, today - 3659);
  const std::optional<LinkStats> stats = operations_.StatsOf(LinkKey(link), first, today);
  if (!stats) return KuttError(503, "The store does not answer.");
  Json answer = KuttLink(link, operations_.ClicksOf(link), operations_.ShortAddress(link));
  Json periods = KuttStats(*stats, today);
  for (auto it = periods.begin(); it != periods.end(); ++it) answer[it.key()] = std::move(it.value());
  return JsonReply(200, std::move(answer));
}

// Kutt answers its health as the text OK; this one says so while the store answers.
std::optional<Reply> KuttDoor::Health(Call&) {
  if (operations_.StoreHealthy()) return Reply{200, kText, "OK", {}};
  return RetryLater(Reply{503, kText, "The store does not answer.", {}});
}

// Kutt's browser extension checks a key by reading its user. A key has no
// e-mail address here, and every link is on the public host: no domains.
std::optional<Reply> KuttDoor::User(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  const char* key = call.http.Header("X-API-KEY");
  return JsonReply(200, Json{{"apikey", key ? key : ""}, {"email", ""}, {"domains", Json::array()}});
}

}  // namespace snipora::service
