#include "service/application.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/core/page_texts.h"
#include "service/core/request.h"
#include "service/replies.h"
#include "service/service_names.h"

namespace snipora::service {

// Declared once: the first row whose methods and pattern fit takes the
// request. A path no row takes is answered 405 (any method but GET and HEAD:
// the last row takes every GET).
const Application::Route Application::kRoutes[] = {
    {kRead | kPost, "/create.php", Role::kCreation, &Application::FormCreate},
    {kRead, "/api-create.php", Role::kCreation, &Application::PlainCreate},
    {kPost, "/api/v1/links", Role::kCreation, &Application::ApiCreate},
    {kRead, "/", Role::kNone, &Application::Home},
    {kRead, "/download/*", Role::kNone, &Application::Download},
    {kRead, "/static/*", Role::kNone, &Application::Static},
    // probes ask by address, whatever the host names answered for
    {kRead, "/healthz", Role::kNone, &Application::Health, /*anyHost=*/true},
    {kRead, "/metrics", Role::kNone, &Application::MetricsText},
    {kRead, "/api/v1/links", Role::kCreator, &Application::ListLinks},
    {kRead, "/api/v1/links/+/stats", Role::kCreator, &Application::LinkStats},
    {kRead, "/api/v1/links/+", Role::kAnyone, &Application::LinkInfo},
    {kPatch, "/api/v1/links/+", Role::kCreator, &Application::ChangeLink},
    {kDelete, "/api/v1/links/+", Role::kCreator, &Application::DeleteLink},
    // Kutt v2 (kutt_handlers.cpp): the handlers read the key from X-API-KEY
    {kPost, "/api/v2/links", Role::kNone, &Application::KuttCreate},
    {kRead, "/api/v2/links", Role::kNone, &Application::KuttList},
    {kPatch, "/api/v2/links/+", Role::kNone, &Application::KuttEdit},
    {kDelete, "/api/v2/links/+", Role::kNone, &Application::KuttDelete},
    {kRead, "/api/v2/health", Role::kNone, &Application::KuttHealth},
    {kRead, "/api/v2/users", Role::kNone, &Application::KuttUser},
    // the YOURLS API: its actions check keys themselves (signature=KEY)
    {kRead | kPost, "/yourls-api.php", Role::kNone, &Application::YourlsApi},
    // Shlink's REST API v3: the handlers read the key their own way
    {kPost, "/rest/v3/short-urls", Role::kNone, &Application::ShlinkCreate},
    {kRead, "/rest/v3/short-urls", Role::kNone, &Application::ShlinkList},
    {kRead, "/rest/v3/short-urls/shorten", Role::kNone, &Application::ShlinkShorten},
    {kRead | kPost | kPatch | kDelete, "/rest/v3/short-urls/+/visits", Role::kNone, &Application::ShlinkNotOffered},
    {kRead | kPost | kPatch | kDelete, "/rest/v3/short-urls/+/redirect-rules", Role::kNone,
     &Application::ShlinkNotOffered},
    {kRead, "/rest/v3/short-urls/+", Role::kNone, &Application::ShlinkGet},
    {kPatch, "/rest/v3/short-urls/+", Role::kNone, &Application::ShlinkEdit},
    {kDelete, "/rest/v3/short-urls/+", Role::kNone, &Application::ShlinkDelete},
    {kRead, "/rest/v3/health", Role::kNone, &Application::ShlinkHealth},
    {kRead, "/rest/health", Role::kNone, &Application::ShlinkHealth},
    {kOptions, "/rest/*", Role::kNone, &Application::ShlinkPreflight},
    {kRead | kPost | kPatch | kDelete, "/rest/*", Role::kNone, &Application::ShlinkNotOffered},
    {kRead, "/+/qr-code", Role::kNone, &Application::QrCode},
    {kRead, "/+", Role::kNone, &Application::Redirect},
};

namespace {

// The ?lang= of a request target; "" when it has none.
std::string AskedLanguage(std::string_view rawTarget) {
  const std::optional<Target> target = SplitTarget(rawTarget);
  if (!target || target->query.find("lang=") == std::string_view::npos) return "";
  const std::optional<std::vector<Field>> fields = ParseForm(target->query);
  const std::string* lang = fields ? FindField(*fields, "lang") : nullptr;
  return lang ? *lang : "";
}

// --allowed-hosts, or without it the public host, --own-hosts and the listen
// address.
AllowedHosts AllowedHostsOf(const Settings& settings) {
  if (settings.allowedHosts.empty()) {
    const std::optional<ListenAddress> listen = ParseListen(settings.listen);
    // a proxy's own names (--own-hosts) are names requests come with too
    std::vector<std::string> hosts{settings.publicHost};
    const std::string_view own = settings.ownHosts;
    for (std::size_t at = 0; at < own.size();) {
      const std::size_t end = std::min(own.find_first_of(", ", at), own.size());
      if (end > at) hosts.emplace_back(own.substr(at, end - at));
      at = end + 1;
    }
    return AllowedHosts::Default(hosts, listen ? listen->host : "");
  }
  std::string error;
  std::optional<AllowedHosts> hosts = AllowedHosts::Parse(settings.allowedHosts, &error);
  if (!hosts) throw std::runtime_error("--allowed-hosts " + error);
  return std::move(*hosts);
}

}  // namespace

Application::Application(ApplicationParts parts)
    : parts_(std::move(parts)),
      ownHost_(HostOf(parts_.settings.publicHost)),
      ownHosts_(OwnHostsOf(parts_.settings)),
      allowedHosts_(AllowedHostsOf(parts_.settings)) {}

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
  const bool hostAllowed = ForAllowedHost(call);
  const auto misdirected = [&] {
    Metrics::Add(parts_.metrics.misdirected);
    return Page(call.language, 421, &PageTexts::misdirectedTitle, &PageTexts::misdirected);
  };
  unsigned allowed = 0;  // by the routes whose path fits
  for (const Route& route : kRoutes) {
    const std::optional<std::string_view> capture = MatchPath(route.pattern, target->path);
    if (!capture) continue;
    allowed |= route.methods;
    if (!(route.methods & method)) continue;
    call.capture = *capture;
    call.methods = route.methods;
    if (!hostAllowed && !route.anyHost) return misdirected();
    // a body declared over --max-body, refused before it was read: the
    // routes that read one answer in their own shape, the others here
    if (call.http.bodyTooLarge && !(method & (kPost | kPatch)))
      return Page(call.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
    if (std::optional<Reply> refused = Admit(call, route.role, target->path)) return refused;
    std::optional<Reply> reply = (this->*route.handler)(call);
    // a HEAD creates nothing, so its time is no creation's
    if (method == kHead && call.http.kind == RequestKind::kCreation) call.http.kind = RequestKind::kOther;
    if (reply && target->path.starts_with("/rest/")) AddShlinkCors(*reply);
    return reply;
  }
  if (!hostAllowed) return misdirected();
  Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
  reply.headers.push_back({"Allow", allowed & (kPatch | kDelete) ? "GET, HEAD, PATCH, DELETE" : "GET, HEAD, POST"});
  return reply;
}

bool Application::ForAllowedHost(const Call& call) const {
  const std::optional<std::string_view> host = RequestHost(call.http.target, call.http.Header("Host"));
  return !host || allowedHosts_.Allows(*host);
}

Application::Admission Application::Authorize(Call& call, std::string_view key, Role role) {
  if (role == Role::kNone) return Admission::kAdmitted;
  if (!key.empty()) {
    call.caller = parts_.keys.Check(key);
    if (!call.caller) return Admission::kWrongKey;
  }
  if (role == Role::kAnyone) return Admission::kAdmitted;
  if (role == Role::kCreation && parts_.settings.openCreation) return Admission::kAdmitted;
  if (!call.caller) return Admission::kNoKey;
  if (role == Role::kAdmin && call.caller->role != Role::kAdmin) return Admission::kForbidden;
  return Admission::kAdmitted;
}

std::optional<Reply> Application::Admit(Call& call, Role role, std::string_view path) {
  if (role == Role::kNone) return std::nullopt;
  std::string_view key;
  if (const char* authorization = call.http.Header("Authorization")) {
    // Another scheme's credentials (Basic from a proxy in front, say) are no
    // key: admitted where none is needed, refused as missing where one is.
    // A Bearer credential is a key, and must be right; an empty one is wrong.
    const std::string_view value = authorization;
    const std::size_t space = value.find(' ');
    if (SameNoCase(value.substr(0, space), "bearer")) {
      key = space == std::string_view::npos ? "" : value.substr(space + 1);
      if (key.empty()) key = " ";
    }
  }
  switch (Authorize(call, key, role)) {
    case Admission::kAdmitted: return std::nullopt;
    case Admission::kForbidden: return ApiError(403, "forbidden", "This key's role may not do this.");
    case Admission::kNoKey:
    case Admission::kWrongKey: break;
  }
  constexpr std::string_view kKeyNeeded = "A valid key is needed (Authorization: Bearer KEY).";
  constexpr std::string_view kKeyHoldersOnly = "This service creates links for holders of a key only.";
  // the plain-text routes refuse as they answer: the format is read here
  // only on this rare path
  Answer answer = path.starts_with("/api/") ? Answer::kApi : Answer::kPage;
  if (path == "/api-create.php") answer = Answer::kText;
  if (path == "/create.php") {
    const std::optional<std::vector<Field>> fields =
        ParseForm(call.http.method == "POST" ? std::string_view(call.http.body) : call.query);
    if (fields) answer = FormAnswer(*fields);
  }
  Reply reply = answer == Answer::kApi    ? ApiError(401, "unauthorized", kKeyNeeded)
                : answer == Answer::kPage ? Page(401, "Key needed", kKeyHoldersOnly)
                                          : TextRefused(answer, 401, "unauthorized", kKeyNeeded);
  reply.headers.push_back({"WWW-Authenticate", "Bearer realm=\"snipora\""});
  return reply;
}

}  // namespace snipora::service
