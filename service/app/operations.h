#pragma once
// What every door shares (doors/): creating, finding, managing, listing and
// counting links, with their checks, keys, roles and store calls, once. The
// doors differ only in how they read a request and shape the answer, so an
// address refused through one is refused through every one, and an address
// has one code whichever asked for it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/app/call.h"
#include "service/app/client_package.h"
#include "service/app/keys.h"
#include "service/app/outcomes.h"
#include "service/app/rate_limit.h"
#include "service/app/routes.h"
#include "service/base/metrics.h"
#include "service/base/service_names.h"
#include "service/base/settings.h"
#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/own_hosts.h"
#include "service/links/deny_in_force.h"
#include "service/links/read_cache.h"
#include "service/links/visit_counts.h"
#include "service/app/link_stats.h"
#include "service/links/threats_in_force.h"
#include "service/links/writer.h"
#include "service/store/listing.h"
#include "service/store/store.h"

namespace snipora::service {

// What a client may say of a link (its title and tags), whichever door it
// came through, at creation and in a change: bytes each, and tags a link.
inline constexpr std::size_t kMaxTitle = 1000, kMaxTags = 50, kMaxTag = 200;
bool TitleFits(std::string_view title);
bool TagsFit(const std::vector<std::string>& tags);
// The most creations one call may ask at once.
inline constexpr std::size_t kMaxCreationsAtOnce = 1000;

// A creation as any door asks it.
struct CreationAsk {
  std::string url;
  std::string alias;  // "": a random code
  std::string title;
  std::vector<std::string> tags;
  std::optional<int64_t> expires;    // seconds since 1970, UTC
  std::optional<int64_t> maxClicks;
};
// How a door answers a creation's outcome.
using CreationShape = std::function<Reply(const CreationOutcome&)>;
// The link a creation stored (kCreated), as the writer wrote it: what was
// asked, under the outcome's code and time, for the doors that answer with
// the whole link (its owner is not in it).
Link CreatedLink(const CreationAsk& ask, const CreationOutcome& outcome);

// A code as a redirect sees it now.
struct Found {
  Resolved resolved;
  bool storeFailed = false;
  std::string key;  // room for a key on a domain other than the default
};
// A link read from the store for an answer.
struct LinkRead {
  std::optional<Link> link;  // none: no such code
  bool storeFailed = false;
};
// What an instance can answer now (/healthz).
struct Readiness {
  bool creations = false;  // creations, and redirects of links not in the cache
  bool redirects = false;  // redirects of cached links
  std::string why;         // one line, when creations cannot be answered
};

// Every link and its clicks, counted.
struct LinkTotals {
  int64_t links = 0, clicks = 0;
};

class Operations {
 public:
  // What the operations work on; owned by the Service around them.
  struct Parts {
    const Settings& settings;
    Store& store;
    LinkCache& cache;
    LinkWriter& writer;
    Metrics& metrics;
    RateLimit& rateLimit;
    const KeyRing& keys;
    // one a domain, in the order of domains().all(); none: no download offered
    const std::vector<ClientPackage>& clientPackages;
    // the list in force (an empty one without --deny-list)
    const DenyListInForce& denyList;
    // the threat feeds' entries in force (none without --threat-feed)
    const ThreatsInForce& threats;
    // the analytics counted at redirects; null with --analytics off
    VisitCounts* visits = nullptr;
  };
  explicit Operations(Parts parts);

  // Whether a call with `key` ("" when it brought none) may take a route
  // needing `role`; sets call.caller when the key is right. A key given must
  // be right whatever the route.
  Admission Authorize(Call& call, std::string_view key, Role role) const;

  // The calls on one link work on the call's domain (call.domain), the
  // others say which.
  // Checks and creates (counting it in the metrics), and answers through
  // `shape`: at once, or from the writer after the commit (the request is
  // put off, and nothing is returned). A HEAD creates nothing (HeadOfCreation).
  std::optional<Reply> CreateLink(Call& call, CreationAsk ask, CreationShape shape);
  // Many creations in one call (the console's pasted lines, at most
  // kMaxCreationsAtOnce): each checked and limited as CreateLink checks one,
  // all answered together through `shape`, in the order asked, once the
  // writer has answered every one (the request is put off).
  std::optional<Reply> CreateMany(Call& call, std::vector<CreationAsk> asks,
                                  std::function<Reply(std::vector<CreationOutcome>)> shape);

  // A code as a redirect sees it now, from the cache, else from the store
  // (and cached); `click` counts one when it is live. A store failure is
  // logged (`what` the request's kind), counted and answered storeFailed.
  Found FindLink(const Domain& domain, std::string_view code, bool click, std::string_view what);
  // The same into `found`, whose strings keep their room: a redirect's path,
  // which then allocates nothing when the code is cached.
  void FindLink(const Domain& domain, std::string_view code, bool click, std::string_view what, Found& found);

  // A link the call may manage: its own (or any, for an admin). `what`
  // names the request in the log ("changing").
  Managed ManagedLink(Call& call, std::string_view code, std::string_view what);
  // A change made by a manager: a new address only by an admin, and through
  // the creation's checks; the cache told. The link as it is now.
  Managed EditLink(Call& call, std::string_view code, LinkChange change);
  Problem RemoveLink(Call& call, std::string_view code);
  // An admin's verdict on a link under review (review_operations.cpp):
  // released (and never put back by the same reason), or taken down
  // (disabled, its reason kept in the private note). A link not under
  // review is released as it is.
  Managed ReleaseLink(Call& call, std::string_view code);
  Managed TakeDownLink(Call& call, std::string_view code);

  // The links a call may list (a creator its own); nothing when the store failed.
  std::optional<LinkPage> ListFor(Call& call, LinkFilter filter);
  // Every link the call may list, in the order of their codes, read a page
  // of kMaxListLimit at a time; false when the store failed.
  bool ForEachListed(Call& call, LinkFilter filter, const std::function<void(Link&)>& visit);
  // Clicks stored and counted since.
  int64_t ClicksOf(const Link& link) const;

  // A link as it is stored, on a domain as the store names it (Domain::stored);
  // `what` names the read in the log.
  LinkRead ReadLink(std::string_view domain, std::string_view code, const std::string& what);
  // A link's clicks per day (ClicksByDay); nothing when the store failed.
  std::optional<std::vector<DayCount>> ClicksByDay(const Link& link, int64_t fromDay, int64_t toDay);
  // Every link walked (an admin's question, now and then); nothing when the
  // store failed.
  std::optional<LinkTotals> CountLinks();
  // Whether creations and redirects can be answered now: not stopping, the
  // store answering and writable, and the last creations not failed for
  // space or a read-only database.
  Readiness Ready();
  bool StoreHealthy() { return Ready().creations; }
  // From now on the instance says it is stopping.
  void SetStopping() { stopping_.store(true); }
  // /metrics, with the cache's figures as they are now.
  std::string MetricsText();

  // An address as a creation stores it (AcceptAddress), against this
  // service's own names, the deny list and the threat feeds in force (a
  // feed's entry refused as the deny list refuses, the feed named in the log).
  StoredForm Accept(std::string_view address) const;
  // The short address of a code on a domain as the store names it
  // (Domain::stored): "http://HOST/CODE".
  std::string ShortAddress(std::string_view domain, std::string_view code) const;
  std::string ShortAddress(const Link& link) const { return ShortAddress(link.domain, link.code); }

  Metrics& metrics() { return parts_.metrics; }
  VisitCounts* visits() const { return parts_.visits; }
  // A link's analytics from the store (link_stats.cpp); nothing when the
  // store failed.
  std::optional<LinkStats> StatsOf(std::string_view key, int64_t fromDay, int64_t toDay);
  std::optional<UnknownStats> UnknownStatsOf(int64_t fromDay, int64_t toDay);
  // for the console's people and sessions (app/console_sessions.h)
  Store& store() { return parts_.store; }
  const KeyRing& keys() const { return parts_.keys; }
  const Settings& settings() const { return parts_.settings; }
  const Domains& domains() const { return domains_; }
  // The download of a domain; null: none offered.
  const ClientPackage* clientPackage(const Domain& domain) const {
    const std::size_t index = std::size_t(&domain - domains_.all().data());
    return index < parts_.clientPackages.size() ? &parts_.clientPackages[index] : nullptr;
  }

 private:
  // Runs `work` (a call of the store); false when the store failed, which
  // is logged as "WHAT: the store failed: ..." and counted once here.
  template <class Work>
  bool FromStore(std::string_view what, Work&& work);
  // What refuses a creation before the writer sees it (the rate limit when
  // `counted`, the address, the alias, the title and tags); `outcome` takes
  // the address's stored form.
  std::optional<CreationOutcome::Kind> CheckCreation(const Call& call, const CreationAsk& ask, bool counted,
                                                     CreationOutcome& outcome);
  // A creation's outcome once the writer answered it, counted in the metrics.
  CreationOutcome Settle(CreationOutcome settled, const Created& created);
  // A HEAD of a creation that passed the checks: an address stored before is
  // answered as GET answers it, from a read of the store; a new one 405.
  Reply HeadOfCreation(Call& call, CreationOutcome outcome, std::string_view alias, const CreationShape& shape);

  Parts parts_;
  std::atomic<bool> stopping_{false};
  const Domains domains_;
  const OwnHosts ownHosts_;  // where no link may lead (base/service_names.h)
};

}  // namespace snipora::service
