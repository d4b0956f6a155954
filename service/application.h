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
//   /api/v2/links[/ID], /api/v2/health, /api/v2/users   Kutt's API (kutt_handlers.cpp)
//   /rest/v3/short-urls[/CODE], /rest/v3/short-urls/shorten, /rest/v3/health
//                                       Shlink's REST API (shlink_handlers.cpp)
//   GET /healthz, GET /metrics
//   GET|HEAD /download/NAME             the Windows program set up for this service
//   GET|HEAD|POST /yourls-api.php       the YOURLS API (yourls_handlers.cpp)
// Targets are accepted in origin form and in absolute form (through a proxy).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/client_package.h"
#include "service/core/address_check.h"
#include "service/core/allowed_hosts.h"
#include "service/core/language.h"
#include "service/core/request.h"
#include "service/http_exchange.h"
#include "service/keys.h"
#include "service/link_admin.h"
#include "service/link_cache.h"
#include "service/link_writer.h"
#include "service/metrics.h"
#include "service/rate_limit.h"
#include "service/routes.h"
#include "service/settings.h"
#include "service/store.h"

namespace snipora::service {

// A YOURLS API answer before its format (yourls_handlers.cpp).
struct YourlsAnswer;

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
    unsigned methods = 0;          // those the route takes
  };
  using Handler = std::optional<Reply> (Application::*)(Call&);
  struct Route {
    unsigned methods;
    std::string_view pattern;
    Role role;
    Handler handler;
    bool anyHost = false;  // answered whatever host the request names (--allowed-hosts)
  };
  static const Route kRoutes[];

  std::optional<Reply> Dispatch(Call& call);
  // Whether the call names a host this service answers for, or none.
  bool ForAllowedHost(const Call& call) const;
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
  std::optional<Reply> QrCode(Call& call);
  std::optional<Reply> Redirect(Call& call);

  // --- What every door shares. The form, the service's own API, the
  // plain-text API and the other shorteners' APIs (yourls_/shlink_/kutt_
  // handlers.cpp) differ only in how they read a request and shape the
  // answer; the checks, keys, roles and store calls are these, once.

  // Whether a call with `key` ("" when it brought none) may take a route
  // needing `role`; sets call.caller when the key is right. A key given must
  // be right whatever the route.
  enum class Admission { kAdmitted, kNoKey, kWrongKey, kForbidden };
  Admission Authorize(Call& call, std::string_view key, Role role);

  // A creation as any door asks it.
  struct CreationAsk {
    std::string url;
    std::string alias;  // "": a random code
    std::string title;
    std::vector<std::string> tags;
    std::optional<int64_t> expires;    // seconds since 1970, UTC
    std::optional<int64_t> maxClicks;
  };
  // How it ended. A known address is answered with its code (kKnown): one
  // code per address, whichever door asked.
  struct CreationOutcome {
    enum Kind {
      kCreated, kKnown, kRateLimited, kAddressRefused, kAliasInvalid, kDetailsTooLong, kAliasTaken, kAddressHasCode,
      kStoreFailed,
    } kind = kStoreFailed;
    Refusal refusal = Refusal::kAccepted;  // kAddressRefused: why
    std::string code;                      // kCreated, kKnown, kAddressHasCode
    std::string address;                   // the stored form, once accepted
    std::string shortAddress;              // kCreated, kKnown: "http://HOST/CODE"
    int64_t created = 0;                   // kCreated: the time stored with it
  };
  using CreationShape = std::function<Reply(const CreationOutcome&)>;
  // Checks and creates (counting it in the metrics), and answers through
  // `shape`: at once, or from the writer after the commit (the request is
  // deferred, and nothing is returned). A HEAD creates nothing (HeadOfCreation).
  std::optional<Reply> CreateLink(Call& call, CreationAsk ask, CreationShape shape);
  // A HEAD of a creation that passed the checks: an address stored before is
  // answered as GET answers it, from a read of the store; a new one 405.
  Reply HeadOfCreation(Call& call, CreationOutcome outcome, std::string_view alias, const CreationShape& shape);
  // The service's own HTTP status of an outcome (201 created, 200 known,
  // 429, 414/403/400 refused, 409 taken, 503) and its English sentence.
  static int StatusOf(const CreationOutcome& outcome);
  static std::string TextOf(const CreationOutcome& outcome);

  // A link a call may manage: its own (or any, for an admin).
  enum class Problem { kNone, kNotFound, kNotOwner, kForbidden, kAddressRefused, kAddressTaken, kStoreFailed };
  struct Managed {
    std::optional<Link> link;
    Problem problem = Problem::kNone;
    Refusal refusal = Refusal::kAccepted;  // kAddressRefused: why
  };
  // `what` names the request in the log ("changing").
  Managed ManagedLink(Call& call, std::string_view code, std::string_view what);
  // A change made by a manager: a new address only by an admin, and through
  // the creation's checks; the cache told. The link as it is now.
  Managed EditLink(Call& call, std::string_view code, LinkChange change);
  Problem RemoveLink(Call& call, std::string_view code);
  // The links a call may list (a creator its own); nothing when the store failed.
  std::optional<LinkPage> ListFor(Call& call, LinkFilter filter);
  // Clicks stored and counted since.
  int64_t ClicksOf(const Link& link) const;
  // Runs `read` (a call of the store); false when the store failed, which
  // is logged as "WHAT: the store failed: ..." and counted once here.
  template <class Read>
  bool FromStore(std::string_view what, Read&& read);
  // The short address of a code.
  std::string ShortAddress(std::string_view code) const;

  // The service's own API's refusal of a managing problem, and its code of a
  // creation's outcome.
  static Reply ProblemReply(const Managed& managed);
  static std::string_view ApiCodeOf(const CreationOutcome& outcome);

  // How the form, the JSON API and the plain-text routes answer a creation:
  // the program's page, the service's own JSON, or the classic plain-text
  // services' text and JSON.
  enum class Answer { kPage, kApi, kText, kTextJson };
  std::optional<Reply> Create(Call& call, Answer answer, const std::string& url, const std::string& alias);
  Reply CreationReply(Language language, Answer answer, const CreationOutcome& outcome);
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
  void LogStoreFailure(std::string_view what, const StoreError& error);

  // --- Kutt v2 (kutt_handlers.cpp): /api/v2/links, /api/v2/health and
  // /api/v2/users as Kutt's clients speak them; the key in X-API-KEY, errors
  // as {"error": "..."}.
  std::optional<Reply> KuttCreate(Call& call);
  std::optional<Reply> KuttList(Call& call);
  std::optional<Reply> KuttEdit(Call& call);
  std::optional<Reply> KuttDelete(Call& call);
  std::optional<Reply> KuttHealth(Call& call);
  std::optional<Reply> KuttUser(Call& call);
  // Nothing when the X-API-KEY may take a route needing `role`; else Kutt's 401.
  std::optional<Reply> KuttAdmit(Call& call, Role role);
  // Kutt's refusal of a creation's outcome, and of a managing problem.
  static Reply KuttRefused(const CreationOutcome& outcome);
  static Reply KuttProblem(Problem problem, Refusal refusal);

  // --- The YOURLS API (yourls_handlers.cpp): /yourls-api.php, read from a
  // query or a urlencoded or multipart form, each action answered as xml,
  // json, jsonp or simple text.
  struct YourlsCall;  // a request's fields, and the format it asked for
  std::optional<Reply> YourlsApi(Call& call);
  std::optional<Reply> YourlsShorten(Call& call, const YourlsCall& yourls);
  std::optional<Reply> YourlsExpand(Call& call, const YourlsCall& yourls);
  std::optional<Reply> YourlsUrlStats(Call& call, const YourlsCall& yourls);
  std::optional<Reply> YourlsDbStats(Call& call, const YourlsCall& yourls);
  std::optional<Reply> YourlsVersion(Call& call, const YourlsCall& yourls);
  YourlsAnswer YourlsCreated(const CreationOutcome& outcome, const std::string& title);

  // --- Shlink's REST API v3 (shlink_handlers.cpp): short URLs under
  // /rest/v3/short-urls with the key in X-Api-Key, the single-step shorten
  // (the key in ?apiKey=), health; refusals as RFC 7807 problem details, and
  // what Shlink offers and this service does not answered as such.
  std::optional<Reply> ShlinkCreate(Call& call);
  std::optional<Reply> ShlinkShorten(Call& call);
  std::optional<Reply> ShlinkList(Call& call);
  std::optional<Reply> ShlinkGet(Call& call);
  std::optional<Reply> ShlinkEdit(Call& call);
  std::optional<Reply> ShlinkDelete(Call& call);
  std::optional<Reply> ShlinkHealth(Call& call);
  std::optional<Reply> ShlinkNotOffered(Call& call);
  // Shlink's web client runs on another origin: its preflight is answered,
  // and every answer under /rest/ lets any origin read it (the key travels
  // in a header, never in a cookie, so no origin gains a user's rights).
  std::optional<Reply> ShlinkPreflight(Call& call);
  static void AddShlinkCors(Reply& reply);
  // Nothing when X-Api-Key admits the call to `role`; else the problem.
  std::optional<Reply> ShlinkAdmit(Call& call, Role role);
  static Reply ShlinkAuthProblem(Admission admission, bool inQuery);
  // A creation answered as a short URL's JSON, or (`text`) its address alone.
  std::optional<Reply> ShlinkMake(Call& call, CreationAsk ask, bool text);
  static Reply ShlinkManagedProblem(const Managed& managed, std::string_view code);

  ApplicationParts parts_;
  const std::string ownHost_;  // the public host's, as Kutt's "domain" names it
  const OwnHosts ownHosts_;    // where no link may lead (service_names.h)
  const AllowedHosts allowedHosts_;  // a request's Host must be one (421)
};

template <class Read>
bool Application::FromStore(std::string_view what, Read&& read) {
  try {
    read();
    return true;
  } catch (const StoreError& error) {
    LogStoreFailure(what, error);
    return false;
  }
}

}  // namespace snipora::service
