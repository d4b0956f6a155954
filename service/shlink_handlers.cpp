// Shlink's REST API v3, as its clients speak it: short URLs created, read,
// listed, changed and deleted under /rest/v3/short-urls with the key in
// X-Api-Key, the single-step shorten with the key in the query, health, and
// RFC 7807 problem details for every refusal. The checks, keys and store
// calls are the shared ones (application.h); this file only reads Shlink's
// requests and writes Shlink's shapes.
#include "service/application.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <cstdint>
#include <string>
#include <vector>

#include "service/core/address_form.h"
#include "service/core/json_body.h"
#include "service/core/utc_time.h"
#include "service/link_admin.h"
#include "service/log.h"
#include "service/replies.h"

namespace snipora::service {
namespace {

constexpr char kProblemJson[] = "application/problem+json";
constexpr char kHealthJson[] = "application/health+json";
constexpr char kPlainText[] = "text/plain; charset=utf-8";

// The Shlink release whose REST API this door follows; clients read
// `version` from health to tell which features to expect.
constexpr char kShlinkVersion[] = "5.1.0";
// Shlink's own default page size.
constexpr int64_t kDefaultItemsPerPage = 10;

// Every refusal this door makes, once: Shlink's problem types where Shlink
// has one, "about:blank" (the title being the status's phrase) where Shlink
// has no such refusal.
enum class ProblemType {
  kInvalidData, kNonUniqueSlug, kShortUrlNotFound, kMissingKey, kInvalidKey, kForbidden, kTooLarge, kRateLimited,
  kUnavailable, kNotOffered, kNoRoute,
};
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

Reply ProblemDetails(ProblemType problem, std::string_view detail, Json extra = Json::object()) {
  const ProblemKind& kind = *std::find_if(std::begin(kProblems), std::end(kProblems),
                                          [problem](const ProblemKind& row) { return row.problem == problem; });
  Json body = {{"type", kind.type}, {"title", kind.title}, {"detail", std::string(detail)}, {"status", kind.status}};
  for (auto& [name, value] : extra.items()) body[name] = value;
  Reply reply{kind.status, kProblemJson, JsonText(body), {}};
  if (problem == ProblemType::kRateLimited) return RetryLater(std::move(reply), "60");
  if (problem == ProblemType::kUnavailable) return RetryLater(std::move(reply));
  return reply;
}

Reply InvalidData(std::string_view detail, const std::vector<std::string>& elements) {
  return ProblemDetails(ProblemType::kInvalidData, detail, {{"invalidElements", elements}});
}

Reply NotFound(std::string_view code) {
  return ProblemDetails(ProblemType::kShortUrlNotFound, "No short URL has the code \"" + std::string(code) + "\".",
                        {{"shortCode", std::string(code)}});
}

Reply StoreFailed() {
  return ProblemDetails(ProblemType::kUnavailable, "The store of short URLs does not answer; nothing was changed.");
}

// A short URL as Shlink shapes it. This service answers on one domain
// (null, Shlink's default), keeps no start of validity, does not tell bots
// from people, serves no robots rules per link and does not pass the short
// URL's query on: those members say so.
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
      {"domain", nullptr},
      {"title", link.title.empty() ? Json(nullptr) : Json(link.title)},
      {"crawlable", false},
      {"forwardQuery", false},
      {"visitsSummary", {{"total", clicks}, {"nonBots", clicks}, {"bots", 0}}},
      {"hasRedirectRules", false},
  };
}

Reply JsonReply(const Json& value, int status = 200) { return Reply{status, kJson, JsonText(value), {}}; }

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

// Whether a domain member names this service's one domain: absent, null,
// "DEFAULT" or its public host.
bool OwnDomain(const Json* domain, const std::string& publicHost) {
  if (!domain || domain->is_null()) return true;
  if (!domain->is_string()) return false;
  const std::string& name = domain->get_ref<const std::string&>();
  return name == "DEFAULT" || HostOf(name) == HostOf(publicHost);
}

// The orders a list may be asked in (orderBy=NAME[-ASC|-DESC]).
enum class OrderBy { kCode, kCreated, kLongUrl, kTitle, kVisits };
struct OrderName {
  std::string_view name;
  OrderBy by;
};
constexpr OrderName kOrders[] = {
    {"shortCode", OrderBy::kCode},   {"dateCreated", OrderBy::kCreated}, {"longUrl", OrderBy::kLongUrl},
    {"title", OrderBy::kTitle},      {"visits", OrderBy::kVisits},
    {"nonBotVisits", OrderBy::kVisits},  // no visit is told to be a bot's
};
struct Order {
  OrderBy by = OrderBy::kCode;
  bool descending = false;
};
// How many short URLs a list in another order than the codes' holds at most
// while it reads them (the page asked and all before it).
constexpr std::size_t kMaxOrdered = 10000;

struct Kept {
  Link link;
  int64_t clicks = 0;
};
// Whether `a` comes before `b`; equal values in the order of their codes.
bool Before(const Kept& a, const Kept& b, const Order& order) {
  const auto compare = [](const auto& x, const auto& y) { return x < y ? -1 : y < x ? 1 : 0; };
  int by = 0;
  switch (order.by) {
    case OrderBy::kCreated: by = compare(a.link.created, b.link.created); break;
    case OrderBy::kLongUrl: by = compare(a.link.address, b.link.address); break;
    case OrderBy::kTitle: by = compare(a.link.title, b.link.title); break;
    case OrderBy::kVisits: by = compare(a.clicks, b.clicks); break;
    case OrderBy::kCode: by = compare(a.link.code, b.link.code); break;
  }
  if (by != 0) return order.descending ? by > 0 : by < 0;
  return a.link.code < b.link.code;
}

// Whether a request on one short URL names another domain (?domain=):
// none of its short URLs are here.
bool OtherDomain(std::string_view query, const std::string& publicHost) {
  const std::optional<std::vector<Field>> fields = ParseForm(query);
  const std::string* domain = fields ? FindField(*fields, "domain") : nullptr;
  return domain && *domain != "DEFAULT" && HostOf(*domain) != HostOf(publicHost);
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
    {"/rest/v3/domains*", "This service answers on one domain."},
    {"/rest/v3/mercure-info", "This service publishes no real-time updates."},
};

}  // namespace

Reply Application::ShlinkAuthProblem(Admission admission, bool inQuery) {
  switch (admission) {
    case Admission::kNoKey:
      if (inQuery)
        return ProblemDetails(ProblemType::kMissingKey, "The API key is expected in the \"apiKey\" query parameter.",
                              {{"param", "apiKey"}});
      return ProblemDetails(ProblemType::kMissingKey, "The API key is expected in the X-Api-Key header.",
                            {{"expectedHeaders", Json::array({"X-Api-Key"})}});
    case Admission::kWrongKey:
      return ProblemDetails(ProblemType::kInvalidKey, "The API key given is unknown or revoked.");
    case Admission::kForbidden:
    case Admission::kAdmitted: break;
  }
  return ProblemDetails(ProblemType::kForbidden, "This key's role may not do this.");
}

std::optional<Reply> Application::ShlinkAdmit(Call& call, Role role) {
  const char* key = call.http.Header("X-Api-Key");
  const Admission admission = Authorize(call, key ? key : "", role);
  if (admission == Admission::kAdmitted) return std::nullopt;
  return ShlinkAuthProblem(admission, false);
}

std::optional<Reply> Application::ShlinkMake(Call& call, CreationAsk ask, bool text) {
  // a creation may be answered later, past the route table's CORS headers
  const auto answer = [this, ask, text](const CreationOutcome& outcome) {
    using Kind = CreationOutcome::Kind;
    // how each refused creation is answered, and the member it blames
    constexpr struct {
      Kind kind;
      ProblemType problem;
      const char* elements[2];  // the members blamed, if any
    } kRefusals[] = {
        {Kind::kRateLimited, ProblemType::kRateLimited, {}},
        {Kind::kAddressRefused, ProblemType::kInvalidData, {"longUrl"}},
        {Kind::kAliasInvalid, ProblemType::kInvalidData, {"customSlug"}},
        {Kind::kDetailsTooLong, ProblemType::kInvalidData, {"title", "tags"}},
        {Kind::kAliasTaken, ProblemType::kNonUniqueSlug, {}},
        // one code per address: a second slug for an address is refused
        {Kind::kAddressHasCode, ProblemType::kInvalidData, {"customSlug"}},
        {Kind::kStoreFailed, ProblemType::kUnavailable, {}},
    };
    for (const auto& refusal : kRefusals) {
      if (refusal.kind != outcome.kind) continue;
      Json extra = Json::object();
      for (const char* element : refusal.elements)
        if (element) extra["invalidElements"].push_back(element);
      if (outcome.kind == Kind::kAddressHasCode) extra["shortCode"] = outcome.code;
      if (outcome.kind == Kind::kAliasTaken) {
        extra["customSlug"] = ask.alias;
        return ProblemDetails(refusal.problem, "The short code \"" + ask.alias + "\" is taken.", std::move(extra));
      }
      return ProblemDetails(refusal.problem, TextOf(outcome), std::move(extra));
    }
    if (text) return Reply{200, kPlainText, outcome.shortAddress, {}};
    if (outcome.kind == CreationOutcome::kCreated) {
      // as the writer stored it
      Link made{outcome.code, outcome.address, outcome.created};
      made.title = ask.title;
      made.tags = ask.tags;
      made.expires = ask.expires;
      made.maxClicks = ask.maxClicks;
      return JsonReply(ShortUrlJson(made, 0, outcome.shortAddress));
    }
    // one code per address: the link the address has, as it is
    std::optional<Link> known;
    FromStore("creation: reading " + outcome.code, [&] { known = parts_.store.FindCode(outcome.code); });
    if (!known) return StoreFailed();
    return JsonReply(ShortUrlJson(*known, ClicksOf(*known), outcome.shortAddress));
  };
  return CreateLink(call, ask, [answer](const CreationOutcome& outcome) {
    Reply reply = answer(outcome);
    AddShlinkCors(reply);
    return reply;
  });
}

std::optional<Reply> Application::ShlinkCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (std::optional<Reply> refused = ShlinkAdmit(call, Role::kCreation)) return refused;
  if (call.http.bodyTooLarge)
    return ProblemDetails(ProblemType::kTooLarge, "The body is larger than this service accepts.");
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return InvalidData("The body is not a JSON object.", {});
  LinkFields fields = ReadLinkFields(*body, std::time(nullptr));
  const auto member = [&](const char* name) -> const Json* {
    const auto found = body->find(name);
    return found == body->end() ? nullptr : &*found;
  };
  const Json* slug = member("customSlug");
  if (slug && !slug->is_null() && !slug->is_string()) fields.invalid.push_back("customSlug");
  if (!OwnDomain(member("domain"), parts_.settings.publicHost)) fields.invalid.push_back("domain");
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
  return ShlinkMake(call, std::move(ask), false);
}

std::optional<Reply> Application::ShlinkShorten(Call& call) {
  call.http.kind = RequestKind::kCreation;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return InvalidData("The query has a malformed %-escape.", {});
  const std::string* key = FindField(*fields, "apiKey");
  const Admission admission = Authorize(call, key ? *key : "", Role::kCreation);
  if (admission != Admission::kAdmitted) return ShlinkAuthProblem(admission, true);
  const std::string* url = FindField(*fields, "longUrl");
  if (!url) return InvalidData("The longUrl query parameter is missing.", {"longUrl"});
  const std::string* format = FindField(*fields, "format");
  const char* accept = call.http.Header("Accept");
  const bool text = (format && *format == "txt") || (accept && ContainsNoCase(accept, "text/plain"));
  return ShlinkMake(call, CreationAsk{*url}, text);
}

std::optional<Reply> Application::ShlinkList(Call& call) {
  if (std::optional<Reply> refused = ShlinkAdmit(call, Role::kCreator)) return refused;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return InvalidData("The query has a malformed %-escape.", {});
  int64_t page = 1, perPage = kDefaultItemsPerPage;
  std::string search;
  std::vector<std::string> tags, excludedTags;
  bool allTags = false, allExcluded = false, skipSpent = false, skipExpired = false, ownDomain = true;
  std::optional<std::string> keyName;
  Order order;
  LinkFilter filter;
  filter.query.limit = kMaxListLimit;
  std::vector<std::string> invalid;
  for (const Field& field : *fields) {
    const std::string& name = field.name;
    const std::string& value = field.value;
    const auto whole = [&](int64_t least, int64_t most) -> std::optional<int64_t> {
      int64_t number = 0;
      const auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (status != std::errc() || end != value.data() + value.size() || number < least || number > most)
        return std::nullopt;
      return number;
    };
    bool ok = true;
    if (name == "page") {
      const std::optional<int64_t> number = whole(1, 1000000);
      ok = bool(number);
      if (ok) page = *number;
    } else if (name == "itemsPerPage") {
      const std::optional<int64_t> number = whole(-1, kMaxListLimit);
      ok = number && *number != 0;
      if (ok) perPage = *number;
    } else if (name == "searchTerm") {
      search = value;
    } else if (name == "tags[]" || name == "tags") {
      tags.push_back(value);
    } else if (name == "excludeTags[]" || name == "excludeTags") {
      excludedTags.push_back(value);
    } else if (name == "tagsMode" || name == "excludeTagsMode") {
      ok = value == "any" || value == "all";
      (name == "tagsMode" ? allTags : allExcluded) = value == "all";
    } else if (name == "orderBy") {
      const std::size_t dash = value.rfind('-');
      const std::string_view member = std::string_view(value).substr(0, dash);
      const std::string_view direction = dash == std::string::npos ? "ASC" : std::string_view(value).substr(dash + 1);
      const auto known = std::find_if(std::begin(kOrders), std::end(kOrders),
                                      [&](const OrderName& named) { return named.name == member; });
      ok = known != std::end(kOrders) && (direction == "ASC" || direction == "DESC");
      if (ok) order = {known->by, direction == "DESC"};
    } else if (name == "startDate" || name == "endDate") {
      const std::optional<int64_t> at = ParseIsoTime(value);
      ok = bool(at);
      if (ok && name == "startDate") filter.query.createdFrom = *at;
      if (ok && name == "endDate") filter.query.createdBefore = *at + 1;  // up to it, included
    } else if (name == "excludeMaxVisitsReached" || name == "excludePastValidUntil") {
      ok = value == "true" || value == "false";
      (name == "excludeMaxVisitsReached" ? skipSpent : skipExpired) = value == "true";
    } else if (name == "domain") {
      ownDomain = value == "DEFAULT" || HostOf(value) == HostOf(parts_.settings.publicHost);
    } else if (name == "apiKeyName") {
      keyName = value;
    }
    if (!ok) invalid.push_back(name);
  }
  if (!invalid.empty())
    return InvalidData("These query parameters are not of a kind this service takes: see invalidElements.", invalid);
  const int64_t now = std::time(nullptr);
  const auto tagged = [](const Link& link, const std::vector<std::string>& wanted, bool all) {
    const auto has = [&](const std::string& tag) {
      return std::find(link.tags.begin(), link.tags.end(), tag) != link.tags.end();
    };
    return all ? std::all_of(wanted.begin(), wanted.end(), has) : std::any_of(wanted.begin(), wanted.end(), has);
  };
  const auto matches = [&](const Link& link) {
    if (!search.empty() && !ContainsNoCase(link.address, search) && !ContainsNoCase(link.code, search) &&
        !ContainsNoCase(link.title, search) &&
        std::none_of(link.tags.begin(), link.tags.end(),
                     [&](const std::string& tag) { return ContainsNoCase(tag, search); }))
      return false;
    if (!tags.empty() && !tagged(link, tags, allTags)) return false;
    if (!excludedTags.empty() && tagged(link, excludedTags, allExcluded)) return false;
    if (skipSpent && link.maxClicks && ClicksOf(link) >= *link.maxClicks) return false;
    if (skipExpired && link.expires && *link.expires <= now) return false;
    return !keyName || link.owner == *keyName;
  };
  // No store counts matches: every link the key may see is read, a page of
  // kMaxListLimit at a time, to count them and keep this page's. In the
  // store's order (the code's) the page is kept as it passes; in another,
  // the first skip + keep in that order are kept, as a heap.
  const bool everything = perPage < 0;
  const std::size_t skip = everything ? 0 : std::size_t((page - 1) * perPage);
  const std::size_t keep = everything ? std::size_t(kMaxListLimit) : std::size_t(perPage);
  const bool storeOrder = order.by == OrderBy::kCode && !order.descending;
  if (!storeOrder && skip + keep > kMaxOrdered)
    return InvalidData("Pages past the first 10000 short URLs are read in the order of their codes only.", {"page"});
  const std::size_t held = storeOrder ? keep : skip + keep;
  const auto before = [&order](const Kept& a, const Kept& b) { return Before(a, b, order); };
  std::vector<Kept> kept;
  std::size_t total = 0;
  while (ownDomain) {
    const std::optional<LinkPage> got = ListFor(call, filter);
    if (!got) return StoreFailed();
    for (const Link& link : got->links) {
      if (!matches(link)) continue;
      ++total;
      if (storeOrder) {
        if (total > skip && kept.size() < held) kept.push_back({link, ClicksOf(link)});
        continue;
      }
      Kept candidate{link, ClicksOf(link)};
      if (kept.size() == held) {
        if (!before(candidate, kept.front())) continue;
        std::pop_heap(kept.begin(), kept.end(), before);
        kept.back() = std::move(candidate);
      } else {
        kept.push_back(std::move(candidate));
      }
      std::push_heap(kept.begin(), kept.end(), before);
    }
    if (!got->next) break;
    filter.query.after = *got->next;
  }
  if (everything && total > std::size_t(kMaxListLimit))
    return InvalidData("There are more short URLs than one answer holds (1000): ask for them a page at a time.",
                       {"itemsPerPage"});
  if (!storeOrder) {
    std::sort_heap(kept.begin(), kept.end(), before);
    kept.erase(kept.begin(), kept.begin() + std::ptrdiff_t(std::min(skip, kept.size())));
  }
  Json data = Json::array();
  for (const Kept& one : kept) data.push_back(ShortUrlJson(one.link, one.clicks, ShortAddress(one.link.code)));
  const int64_t size = everything ? int64_t(total) : perPage;
  const int64_t pages = size == 0 ? 1 : std::max<int64_t>(1, (int64_t(total) + size - 1) / size);
  const std::size_t shown = data.size();
  return JsonReply({{"shortUrls",
                     {{"data", std::move(data)},
                      {"pagination",
                       {{"currentPage", everything ? 1 : page},
                        {"pagesCount", pages},
                        {"itemsPerPage", size},
                        {"itemsInCurrentPage", shown},
                        {"totalItems", total}}}}}});
}

std::optional<Reply> Application::ShlinkGet(Call& call) {
  if (std::optional<Reply> refused = ShlinkAdmit(call, Role::kCreator)) return refused;
  if (OtherDomain(call.query, parts_.settings.publicHost)) return NotFound(call.capture);
  const Managed managed = ManagedLink(call, call.capture, "reading");
  if (managed.problem != Problem::kNone) return ShlinkManagedProblem(managed, call.capture);
  return JsonReply(ShortUrlJson(*managed.link, ClicksOf(*managed.link), ShortAddress(managed.link->code)));
}

std::optional<Reply> Application::ShlinkEdit(Call& call) {
  if (std::optional<Reply> refused = ShlinkAdmit(call, Role::kCreator)) return refused;
  if (call.http.bodyTooLarge)
    return ProblemDetails(ProblemType::kTooLarge, "The body is larger than this service accepts.");
  const std::optional<Json> body = ParseJsonBody(call.http.body);
  if (!body || !body->is_object()) return InvalidData("The body is not a JSON object.", {});
  LinkFields fields = ReadLinkFields(*body, std::time(nullptr));
  if (!fields.invalid.empty())
    return InvalidData("These members are not of a kind this service takes: see invalidElements.", fields.invalid);
  if (OtherDomain(call.query, parts_.settings.publicHost)) return NotFound(call.capture);
  // Shlink's web client sends the long URL with every edit: a creator's
  // unchanged one is no change of address
  if (fields.longUrl && (!call.caller || call.caller->role != Role::kAdmin)) {
    const Managed current = ManagedLink(call, call.capture, "changing");
    if (current.problem != Problem::kNone) return ShlinkManagedProblem(current, call.capture);
    const StoredForm form = AcceptAddress(*fields.longUrl, ownHosts_, *parts_.denyList());
    if (form.refusal == Refusal::kAccepted && form.address == current.link->address) fields.longUrl.reset();
  }
  LinkChange change;
  change.address = std::move(fields.longUrl);
  change.title = std::move(fields.title);
  change.tags = std::move(fields.tags);
  change.expires = fields.validUntil;
  change.maxClicks = fields.maxVisits;
  const Managed managed = EditLink(call, call.capture, std::move(change));
  if (managed.problem != Problem::kNone) return ShlinkManagedProblem(managed, call.capture);
  return JsonReply(ShortUrlJson(*managed.link, ClicksOf(*managed.link), ShortAddress(managed.link->code)));
}

std::optional<Reply> Application::ShlinkDelete(Call& call) {
  if (std::optional<Reply> refused = ShlinkAdmit(call, Role::kCreator)) return refused;
  if (OtherDomain(call.query, parts_.settings.publicHost)) return NotFound(call.capture);
  const Problem problem = RemoveLink(call, call.capture);
  if (problem != Problem::kNone) return ShlinkManagedProblem({std::nullopt, problem}, call.capture);
  return Reply{204, kPlainText, {}, {}};
}

void Application::AddShlinkCors(Reply& reply) {
  for (const auto& [name, value] : reply.headers)
    if (std::string_view(name) == "Access-Control-Allow-Origin") return;
  reply.headers.push_back({"Access-Control-Allow-Origin", "*"});
}

std::optional<Reply> Application::ShlinkPreflight(Call&) {
  return Reply{204, kPlainText, {}, {{"Access-Control-Allow-Methods", "GET, POST, PATCH, DELETE, OPTIONS"},
                                     {"Access-Control-Allow-Headers", "X-Api-Key, Content-Type, Accept"},
                                     {"Access-Control-Max-Age", "3600"}}};
}

std::optional<Reply> Application::ShlinkHealth(Call&) {
  const bool healthy = parts_.store.Healthy();
  Reply reply{healthy ? 200 : 503, kHealthJson,
              JsonText({{"status", healthy ? "pass" : "fail"}, {"version", kShlinkVersion}}), {}};
  return healthy ? reply : RetryLater(std::move(reply));
}

std::optional<Reply> Application::ShlinkNotOffered(Call& call) {
  const std::optional<Target> target = SplitTarget(call.http.target);
  const std::string_view path = target ? target->path : std::string_view();
  for (const Unoffered& unoffered : kUnoffered)
    if (MatchPath(unoffered.pattern, path)) return ProblemDetails(ProblemType::kNotOffered, unoffered.detail);
  return ProblemDetails(ProblemType::kNoRoute, "This service offers no such route of Shlink's API.");
}

Reply Application::ShlinkManagedProblem(const Managed& managed, std::string_view code) {
  switch (managed.problem) {
    // a creator's key sees its own short URLs only, as Shlink's keys limited
    // to their own: another's is not found
    case Problem::kNotFound:
    case Problem::kNotOwner: return NotFound(code);
    case Problem::kForbidden:
      return ProblemDetails(ProblemType::kForbidden, "Only an admin key may change a short URL's long URL.");
    case Problem::kAddressRefused: return InvalidData(RefusalText(managed.refusal), {"longUrl"});
    case Problem::kAddressTaken: return InvalidData("That long URL has another short code.", {"longUrl"});
    case Problem::kNone:
    case Problem::kStoreFailed: break;
  }
  return StoreFailed();
}

}  // namespace snipora::service
