// YOURLS's requests read and its answers written (yourls_door.h).
#include "service/doors/yourls_door.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "service/app/outcomes.h"
#include "service/app/replies.h"
#include "service/core/address_check.h"
#include "service/core/json_body.h"
#include "service/core/multipart.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/core/yourls_xml.h"

namespace snipora::service {
namespace {

constexpr char kXmlType[] = "application/xml; charset=utf-8";
constexpr char kScriptType[] = "application/javascript; charset=utf-8";

// The YOURLS release whose actions and answers this door follows: what
// `version` answers, for clients that decide by it what to ask.
constexpr std::string_view kYourlsVersion = "1.10";

constexpr std::string_view kStatsOnly = "Need either XML or JSON format for stats";
constexpr std::string_view kLogIn = "Please log in";

enum class Format { kXml, kJson, kJsonp, kSimple };

// YOURLS writes XML when no format is named, and the bare text for a name it
// does not know.
Format FormatNamed(const std::string* name) {
  if (!name || *name == "xml") return Format::kXml;
  if (*name == "json") return Format::kJson;
  if (*name == "jsonp") return Format::kJsonp;
  return Format::kSimple;
}

// ^[A-Za-z_$][A-Za-z0-9_$.]{0,63}$: a name a page's script may call, never
// script of the caller's own
bool IsCallbackName(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; };
  if (name.empty() || name.size() > 64 || !letter(name[0])) return false;
  for (char c : name.substr(1))
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '.') return false;
  return true;
}

// application/x-www-form-urlencoded, of any parameters (a type's name is
// read in any case).
bool IsFormType(std::string_view contentType) {
  constexpr std::string_view kForm = "application/x-www-form-urlencoded";
  if (!StartsWithNoCase(contentType, kForm)) return false;
  const std::string_view rest = contentType.substr(kForm.size());
  return rest.empty() || rest[0] == ';' || rest[0] == ' ' || rest[0] == '\t';
}

// A time as YOURLS writes its dates: "2026-12-10 07:40:20" (UTC here).
std::string YourlsDate(int64_t seconds) {
  std::string text = IsoUtc(seconds);
  text[10] = ' ';
  text.pop_back();  // the Z
  return text;
}

// U+2028 and U+2029 end a line in older JavaScript: escaped in a JSONP body.
std::string ScriptSafe(std::string json) {
  for (std::size_t at = json.find("\xE2\x80"); at != std::string::npos; at = json.find("\xE2\x80", at + 1)) {
    if (at + 2 >= json.size() || (json[at + 2] != '\xA8' && json[at + 2] != '\xA9')) continue;
    json.replace(at, 3, json[at + 2] == '\xA8' ? "\\u2028" : "\\u2029");
  }
  return json;
}

}  // namespace

// What a request asked, read once: its fields, and how it wants answers.
struct YourlsDoor::Request {
  std::vector<Field> fields;
  Format format = Format::kXml;
  std::string callback;  // kJsonp: a checked name

  // A field's value; "" when absent.
  std::string Value(std::string_view name) const {
    const std::string* value = FindField(fields, name);
    return value ? *value : std::string();
  }
};

namespace {

// An answer before its format: YOURLS's members, the text of format=simple,
// the HTTP status (YOURLS's statusCode or errorCode).
struct YourlsAnswer {
  int status = 200;
  Json members = Json::object();
  std::string simple;
  const char* retryAfter = nullptr;  // seconds, on a 429 or 503

  Reply In(Format format, const std::string& callback) const {
    Reply reply{status, kJson, {}, {}};
    switch (format) {
      case Format::kJson: reply.body = JsonText(members); break;
      case Format::kJsonp:
        reply.type = kScriptType;
        // the comment keeps the body from being read as anything but script
        reply.body = "/**/" + callback + "(" + ScriptSafe(JsonText(members)) + ")";
        break;
      case Format::kXml:
        reply.type = kXmlType;
        reply.body = YourlsXml(members);
        break;
      case Format::kSimple:
        reply.type = kText;
        reply.body = simple;
        break;
    }
    return retryAfter ? RetryLater(std::move(reply), retryAfter) : reply;
  }
};

// YOURLS's refusal of a request it cannot serve: {"errorCode","message"}.
YourlsAnswer Refused(int status, std::string message) {
  YourlsAnswer answer{status, {{"message", message}, {"errorCode", std::to_string(status)}}, std::move(message)};
  return answer;
}

YourlsAnswer StoreDown() {
  YourlsAnswer answer = Refused(503, "Error: the store does not answer; try again.");
  answer.retryAfter = kRetryAfter;
  return answer;
}

}  // namespace

std::optional<Reply> YourlsDoor::Api(Call& call) {
  Request yourls;
  // the query's fields, after a POST body's: FindField takes the first
  const std::optional<std::vector<Field>> query = ParseForm(call.query);
  const auto bad = [&](int status, std::string message) {
    if (query) yourls.format = FormatNamed(FindField(*query, "format"));
    if (yourls.format == Format::kJsonp) yourls.format = Format::kJson;  // no callback checked yet
    return Refused(status, std::move(message)).In(yourls.format, "");
  };
  if (!query) return bad(400, "The query has a malformed %-escape.");
  if (call.http.method == "POST") {
    if (call.http.bodyTooLarge) return bad(413, std::string(kBodyTooLarge));
    const char* type = call.http.Header("Content-Type");
    const std::string_view contentType = type ? type : "";
    if (IsMultipartForm(contentType)) {
      const std::optional<std::string> boundary = MultipartBoundary(contentType);
      if (!boundary) return bad(400, "The multipart body's boundary is missing or malformed.");
      MultipartForm form = ParseMultipart(call.http.body, *boundary);
      if (form.problem != MultipartProblem::kNone) return bad(400, MultipartProblemText(form.problem));
      yourls.fields = std::move(form.fields);
    } else if (contentType.empty() || IsFormType(contentType)) {
      std::optional<std::vector<Field>> form = ParseForm(call.http.body);
      if (!form) return bad(400, "The form has a malformed %-escape.");
      yourls.fields = std::move(*form);
    } else {
      return bad(415, "The body must be a form: application/x-www-form-urlencoded or multipart/form-data.");
    }
  }
  yourls.fields.insert(yourls.fields.end(), query->begin(), query->end());
  yourls.format = FormatNamed(FindField(yourls.fields, "format"));
  if (yourls.format == Format::kJsonp) {
    yourls.callback = yourls.Value("callback");
    if (!IsCallbackName(yourls.callback)) {
      // YOURLS's own answer to a callback it will not call
      return Reply{400, kJson, JsonText({{"errorCode", "400"}, {"error", "Invalid callback parameter"}}), {}};
    }
  }

  // One row an action: the role it needs, what answers it.
  struct Action {
    std::string_view name;
    Role role;
    std::optional<Reply> (YourlsDoor::*run)(Call&, const Request&);
  };
  static constexpr Action kActions[] = {
      {"shorturl", Role::kCreation, &YourlsDoor::Shorten},
      {"expand", Role::kAnyone, &YourlsDoor::Expand},
      {"url-stats", Role::kCreator, &YourlsDoor::UrlStats},
      {"db-stats", Role::kAdmin, &YourlsDoor::DbStats},
      {"version", Role::kAnyone, &YourlsDoor::Version},
  };
  const std::string named = yourls.Value("action");
  const Action* action = nullptr;
  for (const Action& row : kActions)
    if (row.name == named) action = &row;

  // A key comes as signature=KEY. YOURLS's other ways (a signature made of a
  // timestamp, a user name and password) are not checked here: refused as
  // YOURLS refuses a login it does not accept, whatever the action.
  const bool otherLogin = FindField(yourls.fields, "timestamp") || FindField(yourls.fields, "username") ||
                          FindField(yourls.fields, "password");
  const Role role = action ? action->role : Role::kAnyone;
  const Admission admission =
      otherLogin ? Admission::kWrongKey : operations_.Authorize(call, yourls.Value("signature"), role);
  switch (admission) {
    case Admission::kAdmitted: break;
    case Admission::kNoKey:
    case Admission::kWrongKey: return Refused(403, std::string(kLogIn)).In(yourls.format, yourls.callback);
    case Admission::kForbidden:
      return Refused(403, "This key may not do this: " + std::string(named) + " needs an admin key.")
          .In(yourls.format, yourls.callback);
  }
  if (!action) return Refused(400, "Unknown or missing \"action\" parameter").In(yourls.format, yourls.callback);
  return (this->*action->run)(call, yourls);
}

namespace {

using Kind = CreationOutcome::Kind;

// YOURLS's code and HTTP status of each creation outcome. Where YOURLS has no
// such refusal, a code in its manner: error:ratelimit, error:title, and for
// an address the refusals of kAddressRows.
struct CreationRow {
  Kind outcome;
  int status;
  std::string_view code;    // "": a success
  const char* retryAfter;   // null: none
};
constexpr CreationRow kCreations[] = {
    {Kind::kCreated, 200, "", nullptr},
    {Kind::kKnown, 200, "", nullptr},
    {Kind::kRateLimited, 429, "error:ratelimit", kRateLimitRetryAfter},
    {Kind::kAddressRefused, 400, "error:nourl", nullptr},  // missing or malformed, unless kAddressRows says
    {Kind::kAliasInvalid, 400, "error:keyword", nullptr},
    {Kind::kDetailsTooLong, 400, "error:title", nullptr},
    {Kind::kAliasTaken, 400, "error:keyword", nullptr},
    {Kind::kAddressHasCode, 400, "error:url", nullptr},
    {Kind::kStoreFailed, 503, "error:db", kRetryAfter},
};
static_assert(CoversEachInOrder(kCreations), "YOURLS's creations: one row a creation outcome, in order");
// The refusals of an address that have a code of their own.
struct AddressRow {
  Refusal refusal;
  int status;
  std::string_view code;
};
constexpr AddressRow kAddressRows[] = {
    {Refusal::kOwnAddress, 400, "error:noloop"},
    {Refusal::kScheme, 400, "error:protocol"},
    {Refusal::kDeniedHost, 403, "error:blocked"},
    {Refusal::kTooLong, 414, "error:toolong"},
};

YourlsAnswer CreationAnswer(Operations& operations, const CreationOutcome& outcome, const std::string& title) {
  const CreationRow& row = RowOf(kCreations, outcome.kind);
  const bool made = row.code.empty();
  YourlsAnswer answer;
  answer.status = row.status;
  std::string_view code = row.code;
  if (outcome.kind == Kind::kAddressRefused)
    for (const AddressRow& address : kAddressRows)
      if (address.refusal == outcome.refusal) answer.status = address.status, code = address.code;
  const std::string status = std::to_string(answer.status);
  std::string message = OwnSentence(outcome);
  if (outcome.kind == Kind::kCreated) message = outcome.address + " added to database";
  if (outcome.kind == Kind::kKnown) message = outcome.address + " was shortened before: this is its short URL";
  answer.members = {{"status", made ? "success" : "fail"},
                    {"code", code},
                    {"message", message},
                    {"errorCode", made ? "" : status},
                    {"statusCode", status}};
  answer.simple = made ? outcome.shortAddress : message;
  answer.retryAfter = row.retryAfter;
  if (!made && outcome.kind != Kind::kAddressHasCode) return answer;
  // the link as stored: a known one's title and date are its own
  Json link = {
      {"keyword", outcome.code}, {"url", outcome.address}, {"title", title}, {"date", YourlsDate(outcome.created)}};
  if (outcome.kind != Kind::kCreated) {
    const LinkRead stored = operations.ReadLink(outcome.domain, outcome.code, "reading link " + outcome.code + " for its date");
    if (!stored.storeFailed) {
      link["title"] = stored.link ? stored.link->title : "";
      link["date"] = stored.link ? YourlsDate(stored.link->created) : "";
    } else {
      // the answer stands without them
      link.erase("title");
      link.erase("date");
    }
  }
  answer.members["url"] = link;
  answer.members["title"] = link.contains("title") ? link["title"] : Json("");
  answer.members["shorturl"] = operations.ShortAddress(outcome.domain, outcome.code);
  return answer;
}

}  // namespace

// --- shorturl

std::optional<Reply> YourlsDoor::Shorten(Call& call, const Request& yourls) {
  CreationAsk ask{yourls.Value("url"), yourls.Value("keyword"), yourls.Value("title")};
  // the answer may be made on the writer's thread: it keeps copies
  return operations_.CreateLink(
      call, std::move(ask),
      [this, format = yourls.format, callback = yourls.callback, title = yourls.Value("title")](
          const CreationOutcome& outcome) { return CreationAnswer(operations_, outcome, title).In(format, callback); });
}

// --- expand, url-stats: a code, or a whole short address of this service

namespace {

// The code `shorturl` names and its domain: itself on the host asked, or the
// path of http(s)://HOST/CODE on HOST when HOST is one of the domains (as
// short addresses are written); "" for another service's address.
struct NamedCode {
  std::string code;
  const Domain* domain;
};
NamedCode CodeNamed(std::string_view shorturl, const Domains& domains, const Domain* asked) {
  const auto same = [](std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
  };
  for (std::string_view scheme : {"http://", "https://"}) {
    if (!same(shorturl.substr(0, scheme.size()), scheme)) continue;
    const std::string_view rest = shorturl.substr(scheme.size());
    const std::size_t slash = std::min(rest.find('/'), rest.size());
    // the host as the short addresses are written, its port too: another
    // port is another service's
    const Domain* domain = nullptr;
    for (const Domain& one : domains.all())
      if (same(rest.substr(0, slash), one.host)) domain = &one;
    if (!domain) return {"", asked};
    return {std::string(rest.substr(std::min(slash + 1, rest.size()))), domain};
  }
  return {std::string(shorturl), asked};
}

YourlsAnswer NotFound(const std::string& code) {
  YourlsAnswer answer{
      404, {{"keyword", code}, {"message", "Error: short URL not found"}, {"errorCode", "404"}}, "not found"};
  return answer;
}

}  // namespace

std::optional<Reply> YourlsDoor::Expand(Call& call, const Request& yourls) {
  const auto [code, domain] = CodeNamed(yourls.Value("shorturl"), operations_.domains(), call.domain);
  if (!IsValidCode(code)) return NotFound(code).In(yourls.format, yourls.callback);
  // as a redirect sees it, without counting a click
  const Found found = operations_.FindLink(*domain, code, false, "expanding");
  if (found.storeFailed) return StoreDown().In(yourls.format, yourls.callback);
  switch (found.resolved.state) {
    case Resolved::kMiss: return NotFound(code).In(yourls.format, yourls.callback);
    case Resolved::kGone: {
      YourlsAnswer gone{
          410, {{"keyword", code}, {"message", "Error: short URL disabled or expired"}, {"errorCode", "410"}}, "gone"};
      return gone.In(yourls.format, yourls.callback);
    }
    case Resolved::kLive: break;
  }
  YourlsAnswer answer{200,
                      {{"keyword", code},
                       {"shorturl", operations_.ShortAddress(domain->stored, code)},
                       {"longurl", found.resolved.address},
                       {"message", "success"},
                       {"statusCode", "200"}},
                      found.resolved.address};
  return answer.In(yourls.format, yourls.callback);
}

namespace {

// How url-stats answers each managing problem: the statistics, YOURLS's
// refusal (the message, and the text of format=simple), or the store down.
enum class StatsAnswer { kStats, kRefused, kStoreDown };
struct StatsRow {
  Problem outcome;
  StatsAnswer answer;
  int status;
  std::string_view message, simple;
};
constexpr std::string_view kOtherKey = "This link was made with another key.";
constexpr StatsRow kStatsRows[] = {
    {Problem::kNone, StatsAnswer::kStats, 200, "success", kStatsOnly},
    {Problem::kNotFound, StatsAnswer::kRefused, 404, "Error: short URL not found", "not found"},
    {Problem::kNotOwner, StatsAnswer::kRefused, 403, kOtherKey, kOtherKey},
    // a look-up meets none of these but the store's failure
    {Problem::kForbidden, StatsAnswer::kStoreDown, 503, "", ""},
    {Problem::kAddressRefused, StatsAnswer::kStoreDown, 503, "", ""},
    {Problem::kAddressTaken, StatsAnswer::kStoreDown, 503, "", ""},
    {Problem::kStoreFailed, StatsAnswer::kStoreDown, 503, "", ""},
};
static_assert(CoversEachInOrder(kStatsRows), "YOURLS's url-stats: one row a managing problem, in order");

}  // namespace

std::optional<Reply> YourlsDoor::UrlStats(Call& call, const Request& yourls) {
  const auto [code, domain] = CodeNamed(yourls.Value("shorturl"), operations_.domains(), call.domain);
  call.domain = domain;
  const Managed managed = operations_.ManagedLink(call, code, "statistics of");
  const StatsRow& row = RowOf(kStatsRows, managed.problem);
  const std::string status = std::to_string(row.status);
  switch (row.answer) {
    case StatsAnswer::kStats: break;
    case StatsAnswer::kRefused: {
      const YourlsAnswer refused{
          row.status, {{"statusCode", status}, {"message", row.message}}, std::string(row.simple)};
      return refused.In(yourls.format, yourls.callback);
    }
    case StatsAnswer::kStoreDown: return StoreDown().In(yourls.format, yourls.callback);
  }
  const Link& link = *managed.link;
  const YourlsAnswer answer{row.status,
                            {{"statusCode", status},
                             {"message", row.message},
                             {"link",
                              {{"shorturl", operations_.ShortAddress(link)},
                               {"url", link.address},
                               {"title", link.title},
                               {"timestamp", YourlsDate(link.created)},
                               {"clicks", operations_.ClicksOf(link)}}}},
                            std::string(row.simple)};
  return answer.In(yourls.format, yourls.callback);
}

// --- db-stats: counted by walking every link, as an admin asks it now and then

std::optional<Reply> YourlsDoor::DbStats(Call&, const Request& yourls) {
  const std::optional<LinkTotals> totals = operations_.CountLinks();
  if (!totals) return StoreDown().In(yourls.format, yourls.callback);
  const YourlsAnswer answer{200,
                            {{"db-stats", {{"total_links", totals->links}, {"total_clicks", totals->clicks}}},
                             {"statusCode", "200"},
                             {"message", "success"}},
                            std::string(kStatsOnly)};
  return answer.In(yourls.format, yourls.callback);
}

std::optional<Reply> YourlsDoor::Version(Call&, const Request& yourls) {
  const YourlsAnswer answer{200, {{"version", kYourlsVersion}}, std::string(kYourlsVersion)};
  return answer.In(yourls.format, yourls.callback);
}

}  // namespace snipora::service
