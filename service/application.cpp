#include "service/application.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "service/codes.h"
#include "service/core/address_form.h"
#include "service/core/page_texts.h"
#include "service/core/pages.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/link_admin.h"
#include "service/log.h"
#include "service/qr_code.h"
#include "service/static_files.h"

namespace snipora::service {

// Declared once: the first row whose methods and pattern fit takes the
// request. A path no row takes is answered 405 (any method but GET and HEAD:
// the last row takes every GET).
const Application::Route Application::kRoutes[] = {
    {kRead | kPost, "/create.php", Role::kCreation, &Application::FormCreate},
    {kPost, "/api/v1/links", Role::kCreation, &Application::ApiCreate},
    {kRead, "/", Role::kNone, &Application::Home},
    {kRead, "/download/*", Role::kNone, &Application::Download},
    {kRead, "/static/*", Role::kNone, &Application::Static},
    {kRead, "/healthz", Role::kNone, &Application::Health},
    {kRead, "/metrics", Role::kNone, &Application::MetricsText},
    {kRead, "/api/v1/links", Role::kCreator, &Application::ListLinks},
    {kRead, "/api/v1/links/+/stats", Role::kCreator, &Application::LinkStats},
    {kRead, "/api/v1/links/+", Role::kAnyone, &Application::LinkInfo},
    {kPatch, "/api/v1/links/+", Role::kCreator, &Application::ChangeLink},
    {kDelete, "/api/v1/links/+", Role::kCreator, &Application::DeleteLink},
    {kRead, "/+/qr-code", Role::kNone, &Application::QrCode},
    {kRead, "/+", Role::kNone, &Application::Redirect},
};

namespace {

// On every answer but a redirect: pages load script, style and pictures from
// this service alone, none inline, and are never framed.
constexpr std::pair<const char*, const char*> kPageHeaders[] = {
    {"Content-Security-Policy", "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
};
// Seconds a client is asked to wait while the store does not answer.
constexpr char kRetryAfter[] = "5";

Reply Page(Language language, int status, std::string_view title, std::string_view text) {
  return {status, kHtml, MessagePage(language, title, text), {}};
}
// A page of the language's own texts, e.g. (&PageTexts::notFoundTitle, &PageTexts::notFound).
Reply Page(Language language, int status, std::string_view PageTexts::*title, std::string_view PageTexts::*text) {
  const PageTexts& texts = TextsFor(language);
  return Page(language, status, texts.*title, texts.*text);
}
// A page in English, for an answer with no texts in other languages.
Reply Page(int status, std::string_view title, std::string_view text) {
  return Page(Language::kEn, status, title, text);
}
Reply Bad(std::string_view text) { return Page(400, "Bad request", text); }

// An API error: a stable code for programs, a sentence for people.
Reply ApiError(int status, std::string_view code, std::string_view message) {
  return {status, kJson, "{\"error\":{\"code\":" + JsonString(code) + ",\"message\":" + JsonString(message) + "}}\n",
          {}};
}

// The client is asked to come back after `seconds` (a 503, or a 429).
Reply RetryLater(Reply reply, const char* seconds = kRetryAfter) {
  reply.headers.push_back({"Retry-After", seconds});
  return reply;
}

// The ?lang= of a request target; "" when it has none.
std::string AskedLanguage(std::string_view rawTarget) {
  const std::optional<Target> target = SplitTarget(rawTarget);
  if (!target || target->query.find("lang=") == std::string_view::npos) return "";
  const std::optional<std::vector<Field>> fields = ParseForm(target->query);
  const std::string* lang = fields ? FindField(*fields, "lang") : nullptr;
  return lang ? *lang : "";
}

// An If-None-Match that names `etag` (or any).
bool NotModified(const HttpRequest& request, std::string_view etag) {
  const char* match = request.Header("If-None-Match");
  return match && (std::string_view(match).find(etag) != std::string_view::npos || std::string_view(match) == "*");
}

void AddPageHeaders(Reply& reply) {
  if (reply.status / 100 != 3)
    for (const auto& [name, value] : kPageHeaders) reply.headers.push_back({name, value});
}

}  // namespace

Application::Application(ApplicationParts parts) : parts_(std::move(parts)), ownHost_(HostOf(parts_.settings.publicHost)) {}

std::optional<Reply> Application::Handle(HttpRequest& request) {
  const char* accept = request.Header("Accept-Language");
  Call call{request, {}, {}, ChooseLanguage(accept ? accept : "", AskedLanguage(request.target))};
  std::optional<Reply> reply = Dispatch(call);
  if (reply) AddPageHeaders(*reply);
  return reply;
}

std::optional<Reply> Application::Dispatch(Call& call) {
  const std::optional<Target> target = SplitTarget(call.http.target);
  if (!target) return Page(call.language, 400, &PageTexts::badTitle, &PageTexts::badTarget);
  call.query = target->query;
  const unsigned method = MethodBit(call.http.method);
  unsigned allowed = 0;  // by the routes whose path fits
  for (const Route& route : kRoutes) {
    const std::optional<std::string_view> capture = MatchPath(route.pattern, target->path);
    if (!capture) continue;
    allowed |= route.methods;
    if (!(route.methods & method)) continue;
    call.capture = *capture;
    if (std::optional<Reply> refused = Admit(call, route.role, target->path.starts_with("/api/"))) return refused;
    return (this->*route.handler)(call);
  }
  Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
  reply.headers.push_back({"Allow", allowed & (kPatch | kDelete) ? "GET, HEAD, PATCH, DELETE" : "GET, HEAD, POST"});
  return reply;
}

std::optional<Reply> Application::Admit(Call& call, Role role, bool api) {
  if (role == Role::kNone) return std::nullopt;
  if (const char* authorization = call.http.Header("Authorization")) {
    const std::string_view value = authorization;
    constexpr std::string_view kScheme = "bearer ";
    const bool bearer = value.size() > kScheme.size() &&
                        std::equal(kScheme.begin(), kScheme.end(), value.begin(),
                                   [](char a, char b) { return a == (b | 0x20); });
    if (bearer) call.caller = parts_.keys.Check(value.substr(kScheme.size()));
    if (!call.caller) role = Role::kCreator;  // a key given must be right, whatever the route
  }
  if (role == Role::kAnyone) return std::nullopt;
  if (role == Role::kCreation) {
    if (parts_.settings.openCreation) return std::nullopt;
    role = Role::kCreator;
  }
  if (!call.caller) {
    Reply reply = api ? ApiError(401, "unauthorized", "A valid key is needed (Authorization: Bearer KEY).")
                      : Page(401, "Key needed", "This service creates links for holders of a key only.");
    reply.headers.push_back({"WWW-Authenticate", "Bearer realm=\"snipora\""});
    return reply;
  }
  if (role == Role::kAdmin && call.caller->role != Role::kAdmin)
    return ApiError(403, "forbidden", "This key's role may not do this.");
  return std::nullopt;
}

// ---- pages and files ----

std::optional<Reply> Application::Home(Call& call) {
  return Reply{200, kHtml,
               HomePage(call.language, parts_.settings.publicHost,
                        parts_.clientPackage ? parts_.clientPackage->name : ""),
               {}};
}

// The pages' files, from memory: a day in caches, then the ETag.
std::optional<Reply> Application::Static(Call& call) {
  const StaticFile* file = FindStaticFile(call.capture);
  if (!file) return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
  // the type is a string literal: its data() ends in a NUL
  Reply reply{200, file->type.data(), {}, {{"ETag", std::string(file->etag)},
                                           {"Cache-Control", "public, max-age=86400"}}};
  if (NotModified(call.http, file->etag))
    reply.status = 304;
  else
    reply.fixedBody = {reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size()};
  return reply;
}

std::optional<Reply> Application::Download(Call& call) {
  const ClientPackage* package = parts_.clientPackage;
  if (!package || call.capture != package->name)
    return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::nothingToDownload);
  Reply reply{200, "application/zip", {}, {{"ETag", package->etag},
                                           {"Cache-Control", "no-cache"},
                                           {"Content-Disposition", "attachment; filename=\"" + package->name + "\""}}};
  if (NotModified(call.http, package->etag))
    reply.status = 304;
  else
    reply.fixedBody = package->bytes;
  return reply;
}

std::optional<Reply> Application::Health(Call&) {
  if (parts_.store.Healthy()) return Reply{200, "text/plain; charset=utf-8", "ok\n", {}};
  return RetryLater(Reply{503, "text/plain; charset=utf-8",
                          "the store does not answer: creations and links not in the cache fail until it is back\n",
                          {}});
}

std::optional<Reply> Application::MetricsText(Call&) {
  Metrics& metrics = parts_.metrics;
  metrics.cacheEntries = parts_.cache.size();
  metrics.cacheCapacity = parts_.cache.capacity();
  metrics.cacheHits = parts_.cache.hits();
  metrics.cacheMisses = parts_.cache.misses();
  return Reply{200, "text/plain; version=0.0.4", metrics.Text(), {}};
}

// ---- links ----

Application::Found Application::FindLink(std::string_view code, bool click, std::string_view what) {
  const int64_t now = std::time(nullptr);
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  const DenyList& deny = *denied;
  Found found{parts_.cache.Find(code, click, now, deny)};
  if (found.resolved.state != Resolved::kMiss) return found;
  const uint64_t readAt = parts_.cache.epoch();
  std::optional<Link> link;
  try {
    link = parts_.store.FindCode(code);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string(what) + " of " + std::string(code) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    found.storeFailed = true;
    return found;
  }
  if (link) found.resolved = parts_.cache.Insert(code, LifeOf(*link), click, now, deny, readAt);
  return found;
}

std::optional<Reply> Application::Redirect(Call& call) {
  const std::string_view code = call.capture;
  Found found;
  if (IsValidCode(code)) {
    call.http.kind = RequestKind::kRedirect;
    // HEAD is how link checkers and previews look: not a click
    found = FindLink(code, call.http.method == "GET", "redirect");
    if (found.storeFailed)
      return RetryLater(Page(call.language, 503, &PageTexts::unavailableTitle, &PageTexts::unavailable));
  }
  switch (found.resolved.state) {
    case Resolved::kMiss:
      Metrics::Add(parts_.metrics.notFound);
      return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
    case Resolved::kGone:
      Metrics::Add(parts_.metrics.gone);
      return Reply{410, kHtml, GonePage(call.language, found.resolved.publicNote), {}};
    case Resolved::kLive:
      break;
  }
  Metrics::Add(parts_.metrics.redirects);
  return Reply{301, kHtml, {}, {{"Location", LocationValue(found.resolved.address)}}};
}

// A short address's QR code. The code is looked up as a redirect does, with
// no click counted; the image is drawn afresh, and the ETag lets browsers
// and proxies keep it (a code's short address never changes).
std::optional<Reply> Application::QrCode(Call& call) {
  const std::string_view code = call.capture;
  const std::optional<std::vector<Field>> fields = ParseForm(call.query);
  if (!fields) return Bad("The query has a malformed %-escape.");
  std::string why;
  const std::optional<QrOptions> options = ReadQrOptions(*fields, &why);
  if (!options) return Bad("This QR code cannot be drawn: " + why);
  Found found;
  if (IsValidCode(code)) {
    found = FindLink(code, false, "QR code");
    if (found.storeFailed)
      return RetryLater(
          Page(503, "Unavailable", "The store of short addresses does not answer; try again in a moment."));
  }
  if (found.resolved.state == Resolved::kMiss) {
    Metrics::Add(parts_.metrics.notFound);
    return Page(404, "Not found", "There is no short address here.");
  }
  if (found.resolved.state == Resolved::kGone) {
    Metrics::Add(parts_.metrics.gone);
    return Reply{410, kHtml, GonePage(call.language, found.resolved.publicNote), {}};
  }
  const std::string text = "http://" + parts_.settings.publicHost + "/" + std::string(code);
  Reply reply{200, QrContentType(options->format), {}, {{"ETag", QrEtag(code, text, *options)},
                                                        {"Cache-Control", "public, max-age=86400"}}};
  const char* match = call.http.Header("If-None-Match");
  if (match && EtagMatches(match, reply.headers.front().second)) {
    reply.status = 304;
    return reply;
  }
  std::optional<QrImage> image = DrawQrCode(text, *options);
  if (!image) return Page(500, "Not drawn", "The QR code of this short address could not be drawn.");
  reply.body = std::move(image->bytes);
  return reply;
}

std::optional<Reply> Application::LinkInfo(Call& call) {
  const std::string_view code = call.capture;
  if (!IsValidCode(code)) return ApiError(404, "not_found", "No such code.");
  std::optional<Link> link;
  try {
    link = parts_.store.FindCode(code);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "reading link " + std::string(code) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  }
  if (!link) return ApiError(404, "not_found", "No such code.");
  const bool full = call.caller && (call.caller->role == Role::kAdmin || call.caller->name == link->owner);
  return Reply{200, kJson, LinkJson(*link, link->clicks + parts_.cache.PendingClicks(code), full) + "\n", {}};
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
      if (!at) return bad("a UTC time (2026-12-31T00:00:00Z) or seconds since 1970");
      if (field.name == "created_after")
        filter.query.createdFrom = *at + 1;  // strictly after
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
  // a creator sees its own links
  if (call.caller->role != Role::kAdmin) filter.query.owner = call.caller->name;
  LinkPage page;
  try {
    page = FindLinks(parts_.store, filter);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("listing links: the store failed: ") + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  }
  std::string json = "{\"links\":[";
  for (const Link& link : page.links) {
    if (json.back() != '[') json += ',';
    json += LinkJson(link, link.clicks + parts_.cache.PendingClicks(link.code), true);
  }
  json += "],\"next\":" + (page.next ? JsonString(*page.next) : std::string("null")) + "}\n";
  return Reply{200, kJson, std::move(json), {}};
}

Application::Managed Application::LinkToManage(Call& call, std::string_view what) {
  const std::string_view code = call.capture;
  if (!IsValidCode(code)) return {std::nullopt, ApiError(404, "not_found", "No such code.")};
  std::optional<Link> link;
  try {
    link = parts_.store.FindCode(code);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string(what) + " " + std::string(code) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return {std::nullopt, RetryLater(ApiError(503, "store_unavailable", "The store does not answer."))};
  }
  if (!link) return {std::nullopt, ApiError(404, "not_found", "No such code.")};
  if (call.caller->role != Role::kAdmin && call.caller->name != link->owner)
    return {std::nullopt, ApiError(403, "not_owner", "This link was made with another key.")};
  return {std::move(link), std::nullopt};
}

std::optional<Reply> Application::ChangeLink(Call& call) {
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", "The body is larger than this service accepts.");
  ChangeRequest request = ReadLinkChange(call.http.body);
  if (!request.change) return ApiError(400, "bad_change", request.error);
  LinkChange& change = *request.change;
  if (change.address) {
    if (call.caller->role != Role::kAdmin)
      return ApiError(403, "forbidden", "Only an admin key may change a link's address.");
    const std::shared_ptr<const DenyList> denied = parts_.denyList();
    const StoredForm check = AcceptAddress(*change.address, ownHost_, *denied);
    if (check.refusal != Refusal::kAccepted) return ApiError(400, "address_refused", RefusalText(check.refusal));
    change.address = check.address;
  }
  Managed managed = LinkToManage(call, "changing");
  if (managed.refusal) return managed.refusal;
  ChangeResult result;
  try {
    result = parts_.store.ChangeLink(call.capture, change);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "changing " + std::string(call.capture) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer; nothing was changed."));
  }
  // this instance answers with the change from here on; the others within a second
  parts_.cache.Drop(call.capture);
  switch (result.outcome) {
    case ChangeResult::kNotFound: return ApiError(404, "not_found", "No such code.");
    case ChangeResult::kAddressTaken:
      return ApiError(409, "address_has_code", "That address has another short code.");
    case ChangeResult::kChanged: break;
  }
  return Reply{200, kJson,
               LinkJson(result.link, result.link.clicks + parts_.cache.PendingClicks(call.capture), true) + "\n",
               {}};
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
  Managed managed = LinkToManage(call, "statistics of");
  if (managed.refusal) return managed.refusal;
  const Link& link = *managed.link;
  if (!from) from = link.created / kSecondsADay;
  if (!to) to = int64_t(std::time(nullptr)) / kSecondsADay;
  if (*to < *from || *to - *from >= kMaxStatsDays)
    return ApiError(400, "bad_query", "from must not be after to, and they cover 3660 days at most.");
  std::vector<DayCount> days;
  try {
    days = parts_.store.ClicksByDay(link.code, *from, *to);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "statistics of " + link.code + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer."));
  }
  int64_t total = 0;
  std::string json = "{\"code\":" + JsonString(link.code) + ",\"from\":\"" + DayText(*from) + "\",\"to\":\"" +
                     DayText(*to) + "\",\"days\":[";
  for (const DayCount& day : days) {
    if (json.back() != '[') json += ',';
    json += "{\"day\":\"" + DayText(day.day) + "\",\"clicks\":" + std::to_string(day.clicks) + "}";
    total += day.clicks;
  }
  json += "],\"total\":" + std::to_string(total) + "}\n";
  return Reply{200, kJson, std::move(json), {}};
}

std::optional<Reply> Application::DeleteLink(Call& call) {
  Managed managed = LinkToManage(call, "deleting");
  if (managed.refusal) return managed.refusal;
  bool deleted = false;
  try {
    deleted = parts_.store.DeleteLink(call.capture);
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "deleting " + std::string(call.capture) + ": the store failed: " + error.what());
    Metrics::Add(parts_.metrics.storeErrors);
    return RetryLater(ApiError(503, "store_unavailable", "The store does not answer; nothing was deleted."));
  }
  parts_.cache.Drop(call.capture);
  if (!deleted) return ApiError(404, "not_found", "No such code.");
  return Reply{200, kJson, "{\"deleted\":" + JsonString(call.capture) + "}\n", {}};
}

// ---- creation ----

std::optional<Reply> Application::FormCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return Page(call.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
  const bool post = call.http.method == "POST";
  const std::optional<std::vector<Field>> fields = ParseForm(post ? std::string_view(call.http.body) : call.query);
  if (!fields) return Page(call.language, 400, &PageTexts::badTitle, &PageTexts::badEscape);
  if (const std::string* lang = FindField(*fields, "lang"))
    call.language = LanguageNamed(*lang).value_or(call.language);
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return Create(call, false, url ? *url : "", alias ? *alias : "");
}

std::optional<Reply> Application::ApiCreate(Call& call) {
  call.http.kind = RequestKind::kCreation;
  if (call.http.bodyTooLarge) return ApiError(413, "too_large", "The body is larger than this service accepts.");
  const std::optional<std::vector<Field>> fields = ParseJsonObject(call.http.body);
  if (!fields) return ApiError(400, "bad_json", "The body is not a JSON object of strings.");
  const std::string* url = FindField(*fields, "url");
  const std::string* alias = FindField(*fields, "alias");
  return Create(call, true, url ? *url : "", alias ? *alias : "");
}

// A refused creation: the API's English text, or a page in the request's
// language.
Reply Application::Refused(Language language, bool api, int status, std::string_view code, std::string_view apiText,
                           std::string_view pageText) {
  Metrics::Add(parts_.metrics.refused);
  if (api) return ApiError(status, code, apiText);
  return Page(language, status, TextsFor(language).notShortened, pageText);
}

std::optional<Reply> Application::Create(Call& call, bool api, const std::string& url, const std::string& alias) {
  const Language language = call.language;
  const PageTexts& texts = TextsFor(language);
  if (!parts_.rateLimit.Allow(call.http.client)) {
    Metrics::Add(parts_.metrics.rateLimited);
    return RetryLater(
        Refused(language, api, 429, "rate_limited", "Too many creations from your address; try again in a minute.",
                texts.tooMany),
        "60");
  }
  const std::shared_ptr<const DenyList> denied = parts_.denyList();
  // equivalent spellings of an address are stored, found and answered as one
  const StoredForm check = AcceptAddress(url, ownHost_, *denied);
  if (check.refusal != Refusal::kAccepted) {
    const int status = check.refusal == Refusal::kTooLong      ? 414
                       : check.refusal == Refusal::kDeniedHost ? 403
                                                               : 400;
    return Refused(language, api, status, "address_refused", RefusalText(check.refusal),
                   RefusalPageText(language, check.refusal));
  }
  if (!alias.empty() && (!IsValidCode(alias) || IsReservedCode(alias)))
    return Refused(language, api, 400, "alias_invalid",
                   "A short code of your choice is 1 to 32 letters, digits, - or _, and not a name this service "
                   "uses itself.",
                   texts.aliasInvalid);
  const std::string& address = check.address;
  // an address stored before is answered from its committed row at once
  try {
    if (std::optional<std::string> code = parts_.store.FindAddress(address))
      return CreationReply(language, api, address,
                           {alias.empty() || alias == *code ? Created::kKnown : Created::kAddressHasCode, *code});
  } catch (const StoreError& error) {
    Log(LogLevel::kError, "creation: looking up the address failed: " + std::string(error.what()));
    return CreationReply(language, api, address, Created{});
  }
  std::function<void(Reply)> complete = call.http.Defer();
  parts_.writer.Submit({address, alias, call.caller ? call.caller->name : ""}, [this, language, api, address, complete](const Created& created) {
    Reply reply = CreationReply(language, api, address, created);
    AddPageHeaders(reply);
    complete(std::move(reply));
  });
  return std::nullopt;
}

Reply Application::CreationReply(Language language, bool api, const std::string& address, const Created& created) {
  const PageTexts& texts = TextsFor(language);
  switch (created.outcome) {
    case Created::kCreated:
    case Created::kKnown: {
      Metrics::Add(created.outcome == Created::kCreated ? parts_.metrics.creations : parts_.metrics.known);
      const std::string shortAddress = parts_.settings.publicHost + "/" + created.code;
      const int status = created.outcome == Created::kCreated && api ? 201 : 200;
      if (api)
        return Reply{status, kJson,
                     "{\"code\":" + JsonString(created.code) + ",\"short\":" + JsonString("http://" + shortAddress) +
                         ",\"url\":" + JsonString(address) + "}\n",
                     {}};
      return Reply{status, kHtml, CreatedPage(language, shortAddress, address), {}};
    }
    case Created::kAliasTaken:
      return Refused(language, api, 409, "alias_taken", "That short code belongs to another address.",
                     texts.aliasTaken);
    case Created::kAddressHasCode:
      return Refused(language, api, 409, "address_has_code",
                     "This address has the short code " + created.code + " already.",
                     std::string(texts.hasCodeBefore) + created.code + std::string(texts.hasCodeAfter));
    case Created::kFailed:
      break;
  }
  // the writer logged the failure of its transaction once
  Metrics::Add(parts_.metrics.storeErrors);
  return RetryLater(api ? ApiError(503, "store_unavailable",
                                   "The address could not be stored; nothing was lost, try again.")
                        : Page(language, 503, &PageTexts::notShortened, &PageTexts::notStored));
}

}  // namespace snipora::service
