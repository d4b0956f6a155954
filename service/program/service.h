#pragma once
// One running service: the store, the read cache in front of it, the writer
// thread, the shared operations, the doors and the route table's dispatcher,
// its HTTP transport and the deny list, in the order they start; they stop
// in the reverse order.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/app/application.h"
#include "service/app/client_package.h"
#include "service/app/keys.h"
#include "service/app/operations.h"
#include "service/app/rate_limit.h"
#include "service/app/threat_feeds.h"
#include "service/app/reputation_watch.h"
#include "service/app/velocity_watch.h"
#include "service/app/webhook_delivery.h"
#include "service/base/metrics.h"
#include "service/base/settings.h"
#include "service/core/address_check.h"
#include "service/core/forwarded.h"
#include "service/doors/route_table.h"
#include "service/http/access_log.h"
#include "service/http/transport.h"
#include "service/links/change_feed.h"
#include "service/links/deny_in_force.h"
#include "service/links/country_lookup.h"
#include "service/links/read_cache.h"
#include "service/links/tally_retention.h"
#include "service/links/visit_counts.h"
#include "service/links/threats_in_force.h"
#include "service/links/writer.h"
#include "service/store/store.h"

namespace snipora::service {

class Service {
 public:
  // `store` null: the store settings.database names (open_store.h), holding
  // deleted codes back for settings.codeQuarantineDays. `log` null: no access
  // log. Throws (StoreError, std::runtime_error) when it cannot start.
  Service(Settings settings, std::unique_ptr<Store> store, std::FILE* log);
  ~Service();  // Stop()
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  uint16_t port() const { return server_->port(); }
  // Reads the deny list file again; on failure keeps the list it had and
  // answers why.
  std::string ReloadDenyList();
  void FlushLog();
  // Stops accepting, lets requests in flight finish (up to stop-timeout),
  // commits queued creations, writes the counted clicks.
  void Stop();

  const Metrics& metrics() const { return metrics_; }

  // Returns once the start-up fill of the cache has ended (at once without a
  // cache): until then a code may be cached that no redirect asked for.
  void WaitForCacheFill() const { filled_.wait(false); }

 private:
  const Settings settings_;
  const AddressRanges trustedProxies_;
  // built before the server starts; none without --client-package
  std::vector<ClientPackage> clientPackages_;  // one a domain, in their order; none without --client-package
  Metrics metrics_;
  std::unique_ptr<Store> store_;
  LinkCache cache_;
  std::unique_ptr<AccessLog> log_;
  RateLimit rateLimit_;
  // read by every redirect, replaced on SIGHUP
  DenyListInForce denyList_;
  // the threat feeds' entries, read by every creation; kept current by threatFeeds_
  ThreatsInForce threats_;
  std::unique_ptr<ThreatFeeds> threatFeeds_;
  std::unique_ptr<ReputationWatch> reputation_;  // none without --reputation-zone
  KeyRing keys_;
  // the analytics (none with --analytics off), before the writer that writes them
  std::unique_ptr<CountryLookup> countries_;
  std::unique_ptr<VisitCounts> visits_;
  std::unique_ptr<VelocityWatch> velocity_;  // fed by the writer's flushes of clicks
  std::unique_ptr<LinkWriter> writer_;
  // changes made elsewhere (other instances, the command line)
  std::unique_ptr<ChangeFeed> changes_;
  std::unique_ptr<ChangeListener> listener_;  // wakes the feed, where the store can tell
  std::unique_ptr<Operations> operations_;
  OpenDoors doors_;
  std::unique_ptr<Application> application_;
  std::unique_ptr<HttpTransport> server_;
  // none without --webhook; after what it uses, so stopped before them
  std::unique_ptr<WebhookDelivery> webhooks_;
  // Fills the cache from the store after start while it has room.
  std::atomic<bool> warming_{true};
  std::atomic<bool> filled_{false};
  std::thread warmer_;
  // removes analytics past their retention; stopped first
  std::unique_ptr<TallyRetention> retention_;
  bool stopped_ = false;
};

}  // namespace snipora::service
