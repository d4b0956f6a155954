// The YOURLS API at /yourls-api.php, as YOURLS clients and upload tools
// speak it: GET with a query, or POST with a urlencoded or multipart form
// (POST fields win over the query's). The actions run through the doors'
// shared path (CreateLink, FindLink, ManagedLink); only the reading and the
// answers' shapes are YOURLS's here.
#include "service/app/application.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "service/links/codes.h"
#include "service/core/json_body.h"
#include "service/core/multipart.h"
#include "service/core/request.h"
#include "service/core/utc_time.h"
#include "service/core/yourls_xml.h"
#include "service/base/log.h"
#include "service/app/replies.h"

namespace snipora::service {
namespace {

constexpr char kTextType[] = "text/plain; charset=utf-8";
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
struct Application::YourlsCall {
  std::vector<Field> fields;
  Format format = Format::kXml;
  std::string callback;  // kJsonp: a checked name

  // A field's value; "" when absent.
  std::string Value(std::string_view name) const {
    const std::string* value = FindField(fields, name);
    return value ? *value : std::string();
  }
};

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
        reply.type = kTextType;
        reply.body = simple;
        break;
    }
    return retryAfter ? RetryLater(std::move(reply), retryAfter) : reply;
  }
};

namespace {

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

std::optional<Reply> Application::YourlsApi(Call& call) {
  YourlsCall yourls;
  // the query's fields, after a POST body's: FindField takes the first
  const std::optional<std::vector<Field>> query = ParseForm(call.query);
  const auto bad = [&](int status, std::string message) {
    if (query) yourls.format = FormatNamed(FindField(*query, "format"));
    if (yourls.format == Format::kJsonp) yourls.format = Format::kJson;  // no callback checked yet
    return Refused(status, std::move(message)).In(yourls.format, "");
  };
  if (!query) return bad(400, "The query has a malformed %-escape.");
  if (call.http.method == "POST") {
    if (call.http.bodyTooLarge) return bad(413, "The body is larger than this service accepts.");
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
    std::optional<Reply> (Application::*run)(Call&, const YourlsCall&);
  };
  static constexpr Action kActions[] = {
      {"shorturl", Role::kCreation, &Application::YourlsShorten},
      {"expand", Role::kAnyone, &Application::YourlsExpand},
      {"url-stats", Role::kCreator, &Application::YourlsUrlStats},
      {"db-stats", Role::kAdmin, &Application::YourlsDbStats},
      {"version", Role::kAnyone, &Application::YourlsVersion},
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
  const Admission admission = otherLogin
                                  ? Admission::kWrongKey
                                  : Authorize(call, yourls.Value("signature"), action ? action->role : Role::kAnyone);
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

// --- shorturl

std::optional<Reply> Application::YourlsShorten(Call& call, const YourlsCall& yourls) {
  CreationAsk ask{yourls.Value("url"), yourls.Value("keyword"), yourls.Value("title")};
  // the answer may be made on the writer's thread: it keeps copies
  return CreateLink(call, std::move(ask),
                    [this, format = yourls.format, callback = yourls.callback, title = yourls.Value("title")](
                        const CreationOutcome& outcome) { return YourlsCreated(outcome, title).In(format, callback); });
}

YourlsAnswer Application::YourlsCreated(const CreationOutcome& outcome, const std::string& title) {
  using Outcome = CreationOutcome;
  const bool made = outcome.kind == Outcome::kCreated || outcome.kind == Outcome::kKnown;
  // YOURLS's code and HTTP status of each refusal, the first row that fits
  // (Refusal::kAccepted: any refusal). Where YOURLS has no such refusal, a
  // code in its manner: error:ratelimit, error:protocol, error:blocked,
  // error:toolong.
  struct Row {
    Outcome::Kind kind;
    Refusal refusal;
    int status;
    std::string_view code;
  };
  static constexpr Row kRows[] = {
      {Outcome::kRateLimited, Refusal::kAccepted, 429, "error:ratelimit"},
      {Outcome::kAddressRefused, Refusal::kOwnAddress, 400, "error:noloop"},
      {Outcome::kAddressRefused, Refusal::kScheme, 400, "error:protocol"},
      {Outcome::kAddressRefused, Refusal::kDeniedHost, 403, "error:blocked"},
      {Outcome::kAddressRefused, Refusal::kTooLong, 414, "error:toolong"},
      {Outcome::kAddressRefused, Refusal::kAccepted, 400, "error:nourl"},  // missing or malformed
      {Outcome::kAliasInvalid, Refusal::kAccepted, 400, "error:keyword"},
      {Outcome::kDetailsTooLong, Refusal::kAccepted, 400, "error:title"},
      {Outcome::kAliasTaken, Refusal::kAccepted, 400, "error:keyword"},
      {Outcome::kAddressHasCode, Refusal::kAccepted, 400, "error:url"},
      {Outcome::kStoreFailed, Refusal::kAccepted, 503, "error:db"},
  };
  YourlsAnswer answer;
  std::string_view code;
  if (!made) {
    // an outcome without a row is answered as the store's failure (the last row)
    const Row* fits = &kRows[std::size(kRows) - 1];
    for (const Row& row : kRows) {
      if (row.kind == outcome.kind && (row.refusal == Refusal::kAccepted || row.refusal == outcome.refusal)) {
        fits = &row;
        break;
      }
    }
    answer.status = fits->status;
    code = fits->code;
  }
  const std::string status = std::to_string(answer.status);
  std::string message = TextOf(outcome);
  if (outcome.kind == Outcome::kCreated) message = outcome.address + " added to database";
  if (outcome.kind == Outcome::kKnown) message = outcome.address + " was shortened before: this is its short URL";
  answer.members = {{"status", made ? "success" : "fail"},
                    {"code", code},
                    {"message", message},
                    {"errorCode", made ? "" : status},
                    {"statusCode", status}};
  answer.simple = made ? outcome.shortAddress : message;
  if (outcome.kind == Outcome::kRateLimited) answer.retryAfter = "60";
  if (outcome.kind == Outcome::kStoreFailed) answer.retryAfter = kRetryAfter;
  if (!made && outcome.kind != Outcome::kAddressHasCode) return answer;
  // the link as stored: a known one's title and date are its own
  Json link = {
      {"keyword", outcome.code}, {"url", outcome.address}, {"title", title}, {"date", YourlsDate(outcome.created)}};
  if (outcome.kind != Outcome::kCreated) {
    std::optional<Link> stored;
    if (FromStore("reading link " + outcome.code + " for its date", [&] { stored = parts_.store.FindCode(outcome.code); })) {
      link["title"] = stored ? stored->title : "";
      link["date"] = stored ? YourlsDate(stored->created) : "";
    } else {
      // the answer stands without them
      link.erase("title");
      link.erase("date");
    }
  }
  answer.members["url"] = link;
  answer.members["title"] = link.contains("title") ? link["title"] : Json("");
  answer.members["shorturl"] = ShortAddress(outcome.code);
  return answer;
}

// --- expand, url-stats: a code, or a whole short address of this service

namespace {

// The code `shorturl` names: itself, or the path of http(s)://HOST/CODE when
// HOST is this service's public host (as its short addresses are written);
// "" for another service's address.
std::string CodeNamed(std::string_view shorturl, std::string_view publicHost) {
  const auto same = [](std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
  };
  for (std::string_view scheme : {"http://", "https://"}) {
    if (!same(shorturl.substr(0, scheme.size()), scheme)) continue;
    const std::string_view rest = shorturl.substr(scheme.size());
    const std::size_t slash = std::min(rest.find('/'), rest.size());
    if (!same(rest.substr(0, slash), publicHost)) return "";
    return std::string(rest.substr(std::min(slash + 1, rest.size())));
  }
  return std::string(shorturl);
}

YourlsAnswer NotFound(const std::string& code) {
  YourlsAnswer answer{
      404, {{"keyword", code}, {"message", "Error: short URL not found"}, {"errorCode", "404"}}, "not found"};
  return answer;
}

}  // namespace

std::optional<Reply> Application::YourlsExpand(Call&, const YourlsCall& yourls) {
  const std::string code = CodeNamed(yourls.Value("shorturl"), parts_.settings.publicHost);
  if (!IsValidCode(code)) return NotFound(code).In(yourls.format, yourls.callback);
  // as a redirect sees it, without counting a click
  const Found found = FindLink(code, false, "expanding");
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
                       {"shorturl", ShortAddress(code)},
                       {"longurl", found.resolved.address},
                       {"message", "success"},
                       {"statusCode", "200"}},
                      found.resolved.address};
  return answer.In(yourls.format, yourls.callback);
}

std::optional<Reply> Application::YourlsUrlStats(Call& call, const YourlsCall& yourls) {
  const std::string code = CodeNamed(yourls.Value("shorturl"), parts_.settings.publicHost);
  const Managed managed = ManagedLink(call, code, "statistics of");
  YourlsAnswer answer;
  answer.simple = kStatsOnly;
  switch (managed.problem) {
    case Problem::kNone: break;
    case Problem::kNotFound:
      answer = YourlsAnswer{404, {{"statusCode", "404"}, {"message", "Error: short URL not found"}}, "not found"};
      return answer.In(yourls.format, yourls.callback);
    case Problem::kNotOwner:
      answer = YourlsAnswer{403,
                            {{"statusCode", "403"}, {"message", "This link was made with another key."}},
                            "This link was made with another key."};
      return answer.In(yourls.format, yourls.callback);
    default: return StoreDown().In(yourls.format, yourls.callback);
  }
  const Link& link = *managed.link;
  answer.members = {{"statusCode", "200"},
                    {"message", "success"},
                    {"link",
                     {{"shorturl", ShortAddress(link.code)},
                      {"url", link.address},
                      {"title", link.title},
                      {"timestamp", YourlsDate(link.created)},
                      {"clicks", ClicksOf(link)}}}};
  return answer.In(yourls.format, yourls.callback);
}

// --- db-stats: counted by walking every link, as an admin asks it now and then

std::optional<Reply> Application::YourlsDbStats(Call&, const YourlsCall& yourls) {
  int64_t links = 0, clicks = 0;
  const auto count = [&] {
    parts_.store.ForEachLink([&](const Link& link) {
      ++links;
      clicks += ClicksOf(link);
      return true;
    });
  };
  if (!FromStore("counting links", count)) return StoreDown().In(yourls.format, yourls.callback);
  YourlsAnswer answer{
      200,
      {{"db-stats", {{"total_links", links}, {"total_clicks", clicks}}}, {"statusCode", "200"}, {"message", "success"}},
      std::string(kStatsOnly)};
  return answer.In(yourls.format, yourls.callback);
}

std::optional<Reply> Application::YourlsVersion(Call&, const YourlsCall& yourls) {
  YourlsAnswer answer{200, {{"version", kYourlsVersion}}, std::string(kYourlsVersion)};
  return answer.In(yourls.format, yourls.callback);
}

}  // namespace snipora::service
