#pragma once
// What the service answers, behind the transport (http_transport.h): the
// route table (application.cpp: method, path, role, handler, one row each),
// and handlers that take a request and make a reply, knowing nothing of
// libmicrohttpd (page_handlers.cpp, link_handlers.cpp, api_handlers.cpp,
// plain_handlers.cpp). Redirects are answered from the read cache, falling back to
// the store; creations are handed to the writer and answered once committed.
//
//   GET|HEAD /CODE                      301 to the address; 404; 410 when gone
//   GET|HEAD /create.php?url=U&alias=A  the desktop program's form: a page with
//   POST /create.php (form body)        the short address between its markers;
//                                       format=simple|json answers as the classic
//                                       plain-text services do (plain_handlers.cpp)
//   GET|HEAD /api-create.php?url=U      the short address alone, as plain text
//   GET|HEAD /                          the browser's form
//   POST /api/v1/links {"url","alias"}  201 {"code","short","url"}
//   GET /api/v1/links                   {"links":[...],"next":CURSOR|null} (a key)
//   GET|PATCH|DELETE /api/v1/links/CODE the link (LinkJson); changed; deleted
//   GET /api/v1/links/CODE/stats        clicks per UTC day
// (the roles in the route table, application.cpp; API errors as
// {"error":{"code","message"}})
//   GET /healthz, GET /metrics
//   GET|HEAD /download/NAME             the Windows program set up for this service
// Targets are accepted in origin form and in absolute form (through a proxy).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/client_package.h"
#include "service/core/address_check.h"
#include "service/core/language.h"
#include "service/core/request.h"
#include "service/http_exchange.h"
#include "service/keys.h"
#include "service/link_cache.h"
#include "service/link_writer.h"
#include "service/metrics.h"
#include "service/rate_limit.h"
#include "service/routes.h"
#include "service/settings.h"
#include "service/store.h"

namespace snipora::service {

// What the application answers from; owned by the Service around it.
struct ApplicationParts {
  const Settings& settings;
  Store& store;
  LinkCache& cache;
  LinkWriter& writer;
  Metrics& metrics;
  RateLimit& rateLimit;
  const KeyRing& keys;
  const ClientPackage* clientPackage;  // null: no download offered
  // the list in force, never null (an empty one without --deny-list); read
  // by reference, never copied, on every redirect
  std::function<std::shared_ptr<const DenyList>()> denyList;
};

class Application final : public RequestHandler {
 public:
  explicit Application(ApplicationParts parts);

  std::optional<Reply> Handle(HttpRequest& request) override;

 private:
  // One request on its way through a handler.
  struct Call {
    HttpRequest& http;
    std::string_view query;    // the target's, after "?"
    std::string_view capture;  // what the route pattern's placeholder covered
    Language language;         // of the pages answered
    std::optional<Caller> caller;  // whose key came with it, on routes that look
  };
  using Handler = std::optional<Reply> (Application::*)(Call&);
  struct Route {
    unsigned methods;
    std::string_view pattern;
    Role role;
    Handler handler;
  };
  static const Route kRoutes[];

  std::optional<Reply> Dispatch(Call& call);
  // Nothing when the call may take a route needing `role`; else the refusal
  // (401 for a missing, wrong or revoked key, alike; 403 for too small a role),
  // shaped as the route at `path` answers.
  std::optional<Reply> Admit(Call& call, Role role, std::string_view path);

  std::optional<Reply> FormCreate(Call& call);
  std::optional<Reply> PlainCreate(Call& call);
  std::optional<Reply> ApiCreate(Call& call);
  std::optional<Reply> Home(Call& call);
  std::optional<Reply> Download(Call& call);
  std::optional<Reply> Static(Call& call);
  std::optional<Reply> Health(Call& call);
  std::optional<Reply> MetricsText(Call& call);
  std::optional<Reply> LinkInfo(Call& call);
  std::optional<Reply> ListLinks(Call& call);
  std::optional<Reply> ChangeLink(Call& call);
  std::optional<Reply> DeleteLink(Call& call);
  std::optional<Reply> LinkStats(Call& call);
  // The link a managing call names, when the caller may manage it; else the
  // refusal (404, 403 for another's link, 503).
  struct Managed {
    std::optional<Link> link;
    std::optional<Reply> refusal;
  };
  Managed LinkToManage(Call& call, std::string_view what);
  std::optional<Reply> QrCode(Call& call);
  std::optional<Reply> Redirect(Call& call);

  // How a creation is answered: the program's page, the service's own JSON,
  // or the classic plain-text services' text and JSON.
  enum class Answer { kPage, kApi, kText, kTextJson };
  // Creation, shared by the form, the API and the plain-text routes.
  std::optional<Reply> Create(Call& call, Answer answer, const std::string& url, const std::string& alias);
  Reply CreationReply(Language language, Answer answer, const std::string& address, const Created& created);
  Reply Refused(Language language, Answer answer, int status, std::string_view code, std::string_view apiText,
                std::string_view pageText);
  // The plain-text answers (plain_handlers.cpp): a short address, and a
  // refusal (`code` the API's, `message` its English sentence).
  static Reply TextCreated(Answer answer, const std::string& shortAddress);
  static Reply TextRefused(Answer answer, int status, std::string_view code, std::string_view message);
  // How /create.php answers the request with these fields (its `format`).
  static Answer FormAnswer(const std::vector<Field>& fields);
  // A code as a redirect sees it now, from the cache, else from the store
  // (and cached); `click` counts one when it is live. A store failure is
  // logged (`what` the request's kind) and counted, and answered with
  // storeFailed.
  struct Found {
    Resolved resolved;
    bool storeFailed = false;
  };
  Found FindLink(std::string_view code, bool click, std::string_view what);

  ApplicationParts parts_;
  const std::string ownHost_;
};

}  // namespace snipora::service
