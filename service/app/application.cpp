#include "service/app/application.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/app/replies.h"
#include "service/core/address_check.h"
#include "service/core/page_texts.h"
#include "service/core/request.h"

namespace snipora::service {
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
    std::vector<std::string> hosts;
    const Domains domains(settings);
    for (const Domain& domain : domains.all()) hosts.push_back(domain.host);
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

// A path of one segment whose bytes a code may hold: "/Ab3dE9x".
bool CodeShaped(std::string_view path) {
  return path.size() > 1 && path[0] == '/' && IsValidCode(path.substr(1));
}

// The first row that takes a code-shaped path of a method in `methods`
// whatever its code ("/+"), and the code-shaped paths rows before it take
// themselves ("/healthz"): a redirect is then routed by its path's shape,
// not by trying every row. Null when a row before it has a placeholder that
// could take such a path too (then every request tries the rows).
const Route* CodeRouteOf(const std::vector<Route>& routes, std::vector<std::string_view>& taken) {
  for (const Route& route : routes) {
    const std::size_t at = route.pattern.find_first_of("*+");
    if (route.pattern == "/+" || route.pattern == "/*") return &route;
    if (at == std::string_view::npos) {
      if (CodeShaped(route.pattern)) taken.push_back(route.pattern);
      continue;
    }
    // a placeholder after a prefix and before a suffix of code bytes could
    // cover a code's path
    const std::string_view prefix = route.pattern.substr(0, at), suffix = route.pattern.substr(at + 1);
    const bool codeBytes = prefix.starts_with('/') && (prefix.size() == 1 || IsValidCode(prefix.substr(1))) &&
                           (suffix.empty() || IsValidCode(suffix));
    if (codeBytes) return nullptr;
  }
  return nullptr;
}

}  // namespace

Application::Application(Operations& operations, std::vector<Route> routes)
    : operations_(operations), routes_(std::move(routes)), allowedHosts_(AllowedHostsOf(operations.settings())) {
  codeRoute_ = CodeRouteOf(routes_, codeShapedRows_);
}

std::optional<Reply> Application::Handle(HttpRequest& request) {
  const char* accept = request.Header("Accept-Language");
  Call call{request, {}, {}, ChooseLanguage(accept ? accept : "", AskedLanguage(request.target))};
  // with one domain every host is on it, as before there were several (and
  // the host is not read again on every redirect)
  const Domains& domains = operations_.domains();
  call.domain = &domains.Default();
  if (domains.all().size() > 1) {
    const std::optional<std::string_view> host = RequestHost(request.target, request.Header("Host"));
    const Domain* named = host ? domains.Find(*host) : nullptr;
    if (named) call.domain = named;
    call.onDomain = named;
  }
  std::optional<Reply> reply = Dispatch(call);
  // a reply put off is decorated where it is made (Call::Defer)
  if (reply) Decorate(call.door, *reply);
  return reply;
}

std::optional<Reply> Application::Dispatch(Call& call) {
  const std::optional<Target> target = SplitTarget(call.http.target);
  if (!target) return Page(call.language, 400, &PageTexts::badTitle, &PageTexts::badTarget);
  call.query = target->query;
  const unsigned method = MethodBit(call.http.method);
  const bool hostAllowed = ForAllowedHost(call);
  const auto misdirected = [&] {
    Metrics::Add(operations_.metrics().misdirected);
    return Page(call.language, 421, &PageTexts::misdirectedTitle, &PageTexts::misdirected);
  };
  const auto take = [&](const Route& route, std::string_view capture) -> std::optional<Reply> {
    call.capture = capture;
    call.methods = route.methods;
    // refused before any door: answered as the pages are, by no door
    if (!hostAllowed && !route.anyHost) return misdirected();
    // a body declared over --max-body, refused before it was read: the
    // routes that read one answer in their own shape, the others here
    if (call.http.bodyTooLarge && !(method & (kPost | kPatch)))
      return Page(call.language, 413, &PageTexts::tooLargeTitle, &PageTexts::tooLarge);
    call.door = route.door;
    if (std::optional<Reply> refused = Admit(call, route)) return refused;
    std::optional<Reply> reply = route.answer(*route.door, call);
    // a HEAD creates nothing, so its time is no creation's
    if (method == kHead && call.http.kind == RequestKind::kCreation) call.http.kind = RequestKind::kOther;
    return reply;
  };
  // what every code-shaped path not named by an earlier row comes to
  if (codeRoute_ && (codeRoute_->methods & method) && CodeShaped(target->path) &&
      std::find(codeShapedRows_.begin(), codeShapedRows_.end(), target->path) == codeShapedRows_.end())
    return take(*codeRoute_, target->path.substr(1));
  unsigned allowed = 0;  // by the routes whose path fits
  for (const Route& route : routes_) {
    const std::optional<std::string_view> capture = MatchPath(route.pattern, target->path);
    if (!capture) continue;
    allowed |= route.methods;
    if (!(route.methods & method)) continue;
    return take(route, *capture);
  }
  if (!hostAllowed) return misdirected();
  Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
  reply.headers.push_back({"Allow", allowed & (kPatch | kDelete) ? "GET, HEAD, PATCH, DELETE" : "GET, HEAD, POST"});
  return reply;
}

std::optional<Reply> Application::Admit(Call& call, const Route& route) {
  if (route.role == Role::kNone) return std::nullopt;
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
  const Admission admission = operations_.Authorize(call, key, route.role);
  if (admission == Admission::kAdmitted) return std::nullopt;
  return route.door->KeyRefused(call, admission);
}

bool Application::ForAllowedHost(const Call& call) const {
  const std::optional<std::string_view> host = RequestHost(call.http.target, call.http.Header("Host"));
  return !host || allowedHosts_.Allows(*host);
}

}  // namespace snipora::service
