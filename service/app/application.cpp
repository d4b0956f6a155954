#include "service/app/application.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/app/replies.h"
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

}  // namespace

Application::Application(Operations& operations, std::vector<Route> routes)
    : operations_(operations), routes_(std::move(routes)) {}

std::optional<Reply> Application::Handle(HttpRequest& request) {
  const char* accept = request.Header("Accept-Language");
  Call call{request, {}, {}, ChooseLanguage(accept ? accept : "", AskedLanguage(request.target))};
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
  unsigned allowed = 0;  // by the routes whose path fits
  for (const Route& route : routes_) {
    const std::optional<std::string_view> capture = MatchPath(route.pattern, target->path);
    if (!capture) continue;
    allowed |= route.methods;
    if (!(route.methods & method)) continue;
    call.capture = *capture;
    call.door = route.door;
    if (std::optional<Reply> refused = Admit(call, route)) return refused;
    return route.answer(*route.door, call);
  }
  Reply reply = Page(call.language, 405, &PageTexts::methodTitle, &PageTexts::method);
  reply.headers.push_back({"Allow", allowed & (kPatch | kDelete) ? "GET, HEAD, PATCH, DELETE" : "GET, HEAD, POST"});
  return reply;
}

std::optional<Reply> Application::Admit(Call& call, const Route& route) {
  if (route.role == Role::kNone) return std::nullopt;
  std::string_view key;
  if (const char* authorization = call.http.Header("Authorization")) {
    const std::string_view value = authorization;
    constexpr std::string_view kScheme = "bearer ";
    const bool bearer = value.size() > kScheme.size() && StartsWithNoCase(value, kScheme);
    // another scheme's credentials are no key: refused where one is needed
    key = bearer ? value.substr(kScheme.size()) : std::string_view(" ");
  }
  const Admission admission = operations_.Authorize(call, key, route.role);
  if (admission == Admission::kAdmitted) return std::nullopt;
  return route.door->KeyRefused(call, admission);
}

}  // namespace snipora::service
