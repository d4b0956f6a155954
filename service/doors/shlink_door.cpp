// Shlink's requests read and its shapes written (shlink_door.h).
#include "service/doors/shlink_door.h"

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <string>
#include <vector>

#include "service/app/outcomes.h"
#include "service/app/replies.h"
#include "service/core/address_form.h"
#include "service/core/json_body.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/doors/shlink_shapes.h"

namespace snipora::service {
namespace {

constexpr char kHealthJson[] = "application/health+json";

// The Shlink release whose REST API this door follows; clients read
// `version` from health to tell which features to expect.
constexpr char kShlinkVersion[] = "5.1.0";
// Seconds a browser may keep a preflight's answer (most keep it less).
constexpr char kPreflightMaxAge[] = "3600";

using Kind = CreationOutcome::Kind;

// How each creation outcome is answered: the short URL (or its address
// alone), or the problem and the members it blames.
struct CreationRow {
  Kind outcome;
  std::optional<ProblemType> problem;  // none: answered with the short URL
  const char* elements[2];             // the members blamed, if any
};
constexpr CreationRow kCreations[] = {
    {Kind::kCreated, std::nullopt, {}},
    {Kind::kKnown, std::nullopt, {}},  // one code per address: the short URL as it is
    {Kind::kRateLimited, ProblemType::kRateLimited, {}},
    {Kind::kAddressRefused, ProblemType::kInvalidData, {"longUrl"}},
    {Kind::kAliasInvalid, ProblemType::kInvalidData, {"customSlug"}},
    {Kind::kDetailsTooLong, ProblemType::kInvalidData, {"title", "tags"}},
    {Kind::kAliasTaken, ProblemType::kNonUniqueSlug, {}},
    // one code per address: a second slug for an address is refused
    {Kind::kAddressHasCode, ProblemType::kInvalidData, {"customSlug"}},
    {Kind::kStoreFailed, ProblemType::kUnavailable, {}},
};
static_assert(CoversEachInOrder(kCreations), "Shlink's creations: one row a creation outcome, in order");

// How each managing problem is answered. A creator's key sees its own short
// URLs only, as Shlink's keys limited to their own: another's is not found.
struct ProblemRow {
  Problem outcome;
  ProblemType problem;
  std::string_view detail;  // kShortUrlNotFound: naming the code; kAddressRefused: the refusal's own
};
constexpr ProblemRow kProblems[] = {
    {Problem::kNone, ProblemType::kUnavailable, ""},
    {Problem::kNotFound, ProblemType::kShortUrlNotFound, ""},
    {Problem::kNotOwner, ProblemType::kShortUrlNotFound, ""},
    {Problem::kForbidden, ProblemType::kForbidden, "Only an admin key may change a short URL's long URL."},
    {Problem::kAddressRefused, ProblemType::kInvalidData, ""},
    {Problem::kAddressTaken, ProblemType::kInvalidData, "That long URL has another short code."},
    {Problem::kStoreFailed, ProblemType::kUnavailable, ""},
};
static_assert(CoversEachInOrder(kProblems), "Shlink's refusals: one row a managing problem, in order");

Reply ManagedProblem(const Managed& managed, std::string_view code) {
  const ProblemRow& row = RowOf(kProblems, managed.problem);
  if (row.problem == ProblemType::kShortUrlNotFound) return ShortUrlNotFound(code);
  if (row.problem == ProblemType::kUnavailable) return StoreFailed();
  if (managed.problem == Problem::kAddressRefused) return InvalidData(RefusalText(managed.refusal), {"longUrl"});
  if (row.problem == ProblemType::kInvalidData) return InvalidData(row.detail, {"longUrl"});
  return ProblemDetails(row.problem, row.detail);
}

// A short URL as it is stored now, with its clicks.
Reply ShortUrlAnswer(Operations& operations, const Link& link) {
  return JsonReply(200, ShortUrlJson(link, operations.ClicksOf(link), operations.ShortAddress(link)),
                   JsonEnd::kNone);
}

Reply AuthProblem(Admission admission, bool inQuery) {
  if (admission == Admission::kNoKey) {
    if (inQuery)
      return ProblemDetails(ProblemType::kMissingKey, "The API key is expected in the \"apiKey\" query parameter.",
                            {{"param", "apiKey"}});
    return ProblemDetails(ProblemType::kMissingKey, "The API key is expected in the X-Api-Key header.",
                          {{"expectedHeaders", Json::array({"X-Api-Key"})}});
  }
  if (admission == Admission::kWrongKey)
    return ProblemDetails(ProblemType::kInvalidKey, "The API key given is unknown or revoked.");
  return ProblemDetails(ProblemType::kForbidden, kRoleTooSmall);
}

// The members a creation and a change share, read into the service's terms;
// each member of the wrong kind or value is named in `invalid`.
struct LinkFields {
  std::optional<std::string> longUrl;
  std::optional<std::string> title;  // "" for null
  std::optional<std::vector<std::string>> tags;
  std::optional<std::optional<int64_t>> validUntil, maxVisits;
  std::vector<std::string> invalid;
};

LinkFields ReadLinkFields(const Json& body, int64_t now) {
  LinkFields fields;
  for (const auto& [name, value] : body.items()) {
    bool ok = true;
    if (name == "longUrl") {
      ok = value.is_string();
      if (ok) fields.longUrl = value.get<std::string>();
    } else if (name == "title") {
      ok = value.is_null() || (value.is_string() && value.get_ref<const std::string&>().size() <= kMaxTitle);
      if (ok) fields.title = value.is_null() ? "" : value.get<std::string>();
    } else if (name == "tags") {
      ok = value.is_array() && value.size() <= kMaxTags;
      std::vector<std::string> tags;
      for (const Json& tag : ok ? value : Json::array()) {
        if (!tag.is_string() || tag.get_ref<const std::string&>().empty() ||
            tag.get_ref<const std::string&>().size() > kMaxTag) {
          ok = false;
          break;
        }
        if (std::find(tags.begin(), tags.end(), tag.get<std::string>()) == tags.end())
          tags.push_back(tag.get<std::string>());
      }
      if (ok) fields.tags = std::move(tags);
    } else if (name == "validUntil") {
      const std::optional<int64_t> at = value.is_string() ? ParseIsoTime(value.get<std::string>()) : std::nullopt;
      ok = value.is_null() || at;
      if (ok) fields.validUntil = at;
    } else if (name == "maxVisits") {
      ok = value.is_null() ||
           (value.is_number_unsigned() ? value.get<uint64_t>() - 1 < uint64_t(INT64_MAX)
                                       : value.is_number_integer() && value.get<int64_t>() >= 1);
      if (ok) fields.maxVisits = value.is_null() ? std::nullopt : std::optional<int64_t>(value.get<int64_t>());
    } else if (name == "validSince") {
      // no start is kept: one already passed asks for nothing
      const std::optional<int64_t> at = value.is_string() ? ParseIsoTime(value.get<std::string>()) : std::nullopt;
      ok = value.is_null() || (at && *at <= now);
    } else if (name == "crawlable" || name == "forwardQuery" || name == "findIfExists") {
      // accepted; answered as this service does them (see ShortUrlJson)
      ok = value.is_boolean() || value.is_null();
    }
    // other members are ignored, as Shlink ignores them
    if (!ok) fields.invalid.push_back(name);
  }
  return fields;
}

// The domain a creation's member names; null when it is none of them.
const Domain* MemberDomain(const Json* domain, const Domains& domains) {
  if (!domain || domain->is_null()) return &domains.Default();
  if (!domain->is_string()) return nullptr;
  return ShlinkDomain(domains, &domain->get_ref<const std::string&>());
}

// The domain a request on one short URL names (?domain=), set on the call;
// false when it is none of them (none of its short URLs are here).
bool OnQueryDomain(Call& call, const Domains& domains) {
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  const Domain* domain = ShlinkDomain(domains, fields ? FindField(*fields, "domain") : nullptr);
  if (domain) call.domain = domain;
  return domain;
}

// What Shlink offers and this service does not: answered 501 with why.
struct Unoffered {
  std::string_view pattern;
  std::string_view detail;
};
constexpr Unoffered kUnoffered[] = {
    {"/rest/v3/short-urls/+/visits",
     "This service counts a short URL's visits per day; it does not keep visits one by one."},
    {"/rest/v3/short-urls/+/redirect-rules", "This service sends every visit of a short URL to its one long URL."},
    {"/rest/v3/visits*", "This service counts visits per short URL and day; it does not keep visits one by one."},
    {"/rest/v3/tags*", "Tags are kept with each short URL and filter its list; they are not managed on their own."},
    {"/rest/v3/domains*", "Domains have no redirects of their own here: a short code not found answers 404."},
    {"/rest/v3/mercure-info", "This service publishes no real-time updates."},
};

}  // namespace

Reply ShlinkDoor::KeyRefused(const Call&, Admission admission) const { return AuthProblem(admission, false); }

void ShlinkDoor::Decorate(Reply& reply) const {
  reply.headers.push_back({"Access-Control-Allow-Origin", "*"});
  Door::Decorate(reply);
}

std::optional<Reply> ShlinkDoor::Admit(Call& call, Role role) {
  const char* key = call.http.Header("X-Api-Key");
  const Admission admission = operations_.Authorize(call, key ? key : "", role);
  if (admission == Admission::kAdmitted) return std::nullopt;
  return KeyRefused(call, admission);
}

std::optional<Reply> ShlinkDoor::Make(Call& call, CreationAsk ask, bool text) {
  const auto answer = [this, ask, text](const CreationOutcome& outcome) {
    const CreationRow& row = RowOf(kCreations, outcome.kind);
    if (row.problem) {
      Json extra = Json::object();
      for (const char* element : row.elements)
        if (element) extra["invalidElements"].push_back(element);
      if (outcome.kind == Kind::kAddressHasCode) extra["shortCode"] = outcome.code;
      if (outcome.kind == Kind::kAliasTaken) {
        extra["customSlug"] = ask.alias;
        return ProblemDetails(*row.problem, "The short code \"" + ask.alias + "\" is taken.", std::move(extra));
      }
      return ProblemDetails(*row.problem, OwnSentence(outcome), std::move(extra));
    }
    if (text) return Reply{200, kText, outcome.shortAddress, {}};
    if (outcome.kind == Kind::kCreated)
      return JsonReply(200, ShortUrlJson(CreatedLink(ask, outcome), 0, outcome.shortAddress), JsonEnd::kNone);
    // one code per address: the link the address has, as it is
    const LinkRead known = operations_.ReadLink(outcome.domain, outcome.code, "creation: reading " + outcome.code);
    if (!known.link) return StoreFailed();
    return ShortUrlAnswer(operations_, *known.link);
  };
  return operations_.CreateLink(call, ask, answer);
}

std::optional<Reply> ShlinkDoor::Create(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (std::optional<Reply> refused = Admit(call, Role::kCreation)) return refused;
  if (call.http.bodyTooLarge) return ProblemDetails(ProblemType::kTooLarge, kBodyTooLarge);
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return InvalidData("The body is not a JSON object.", {});
  LinkFields fields = ReadLinkFields(*body, std::time(nullptr));
  const auto member = [&](const char* name) -> const Json* {
    const auto found = body->find(name);
    return found == body->end() ? nullptr : &*found;
  };
  const Json* slug = member("customSlug");
  if (slug && !slug->is_null() && !slug->is_string()) fields.invalid.push_back("customSlug");
  if (const Domain* domain = MemberDomain(member("domain"), operations_.domains()))
    call.domain = domain;
  else
    fields.invalid.push_back("domain");
  if (const Json* length = member("shortCodeLength");
      length && !length->is_null() && !(length->is_number_integer() && length->get<int64_t>() == int64_t(kCodeLength)))
    fields.invalid.push_back("shortCodeLength");
  if (!body->contains("longUrl")) fields.invalid.push_back("longUrl");
  if (!fields.invalid.empty())
    return InvalidData("These members are missing or not of a kind this service takes: see invalidElements.",
                       fields.invalid);
  CreationAsk ask{*fields.longUrl, slug && slug->is_string() ? slug->get<std::string>() : "",
                  fields.title.value_or(""), fields.tags.value_or(std::vector<std::string>()),
                  fields.validUntil.value_or(std::nullopt), fields.maxVisits.value_or(std::nullopt)};
  return Make(call, std::move(ask), false);
}

std::optional<Reply> ShlinkDoor::Shorten(Call& call) {
  call.http.kind = RequestKind::kCreation;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return InvalidData("The query has a malformed %-escape.", {});
  const std::string* key = FindField(*fields, "apiKey");
  const Admission admission = operations_.Authorize(call, key ? *key : "", Role::kCreation);
  if (admission != Admission::kAdmitted) return AuthProblem(admission, true);
  const std::string* url = FindField(*fields, "longUrl");
  if (!url) return InvalidData("The longUrl query parameter is missing.", {"longUrl"});
  const std::string* format = FindField(*fields, "format");
  const char* accept = call.http.Header("Accept");
  const bool text = (format && *format == "txt") || (accept && ContainsNoCase(accept, "text/plain"));
  // as a creation without a domain member: the default
  call.domain = &operations_.domains().Default();
  return Make(call, CreationAsk{*url}, text);
}

std::optional<Reply> ShlinkDoor::Get(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  if (!OnQueryDomain(call, operations_.domains())) return ShortUrlNotFound(call.capture);
  const Managed managed = operations_.ManagedLink(call, call.capture, "reading");
  if (managed.problem != Problem::kNone) return ManagedProblem(managed, call.capture);
  return ShortUrlAnswer(operations_, *managed.link);
}

std::optional<Reply> ShlinkDoor::Edit(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  if (call.http.bodyTooLarge) return ProblemDetails(ProblemType::kTooLarge, kBodyTooLarge);
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return InvalidData("The body is not a JSON object.", {});
  LinkFields fields = ReadLinkFields(*body, std::time(nullptr));
  if (!fields.invalid.empty())
    return InvalidData("These members are not of a kind this service takes: see invalidElements.", fields.invalid);
  if (!OnQueryDomain(call, operations_.domains())) return ShortUrlNotFound(call.capture);
  // Shlink's web client sends the long URL with every edit: a creator's
  // unchanged one is no change of address
  if (fields.longUrl && (!call.caller || call.caller->role != Role::kAdmin)) {
    const Managed current = operations_.ManagedLink(call, call.capture, "changing");
    if (current.problem != Problem::kNone) return ManagedProblem(current, call.capture);
    const StoredForm form = operations_.Accept(*fields.longUrl);
    if (form.refusal == Refusal::kAccepted && form.address == current.link->address) fields.longUrl.reset();
  }
  LinkChange change;
  change.address = std::move(fields.longUrl);
  change.title = std::move(fields.title);
  change.tags = std::move(fields.tags);
  change.expires = fields.validUntil;
  change.maxClicks = fields.maxVisits;
  const Managed managed = operations_.EditLink(call, call.capture, std::move(change));
  if (managed.problem != Problem::kNone) return ManagedProblem(managed, call.capture);
  return ShortUrlAnswer(operations_, *managed.link);
}

std::optional<Reply> ShlinkDoor::Delete(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  if (!OnQueryDomain(call, operations_.domains())) return ShortUrlNotFound(call.capture);
  const Problem problem = operations_.RemoveLink(call, call.capture);
  if (problem != Problem::kNone) return ManagedProblem({std::nullopt, problem}, call.capture);
  return Reply{204, kText, {}, {}};
}

std::optional<Reply> ShlinkDoor::ListDomains(Call& call) {
  if (std::optional<Reply> refused = Admit(call, Role::kCreator)) return refused;
  return JsonReply(200, DomainsJson(operations_.domains()), JsonEnd::kNone);
}

std::optional<Reply> ShlinkDoor::Preflight(Call&) {
  return Reply{204, kText, {}, {{"Access-Control-Allow-Methods", "GET, POST, PATCH, DELETE, OPTIONS"},
                                {"Access-Control-Allow-Headers", "X-Api-Key, Content-Type, Accept"},
                                {"Access-Control-Max-Age", kPreflightMaxAge}}};
}

std::optional<Reply> ShlinkDoor::Health(Call&) {
  const bool healthy = operations_.StoreHealthy();
  Reply reply{healthy ? 200 : 503, kHealthJson,
              JsonText({{"status", healthy ? "pass" : "fail"}, {"version", kShlinkVersion}}), {}};
  return healthy ? reply : RetryLater(std::move(reply));
}

std::optional<Reply> ShlinkDoor::NotOffered(Call& call) {
  const std::optional<Target> target = SplitTarget(call.http.target);
  const std::string_view path = target ? target->path : std::string_view();
  for (const Unoffered& unoffered : kUnoffered)
    if (MatchPath(unoffered.pattern, path)) return ProblemDetails(ProblemType::kNotOffered, unoffered.detail);
  return ProblemDetails(ProblemType::kNoRoute, "This service offers no such route of Shlink's API.");
}

}  // namespace snipora::service
