#pragma once
// The threat feeds kept current: each fetched every interval on a thread of
// its own, a new version written to the store, and the versions the store
// holds put in force on every instance (at start, after its own fetch, and
// when the change feed says another wrote one). A failed fetch keeps the
// version before; it is logged and counted. The instance that wrote a new
// version checks every link against it (link_recheck.h): one instance's
// work, whose quarantines reach the others through the change feed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/base/metrics.h"
#include "service/base/settings.h"
#include "service/links/threats_in_force.h"
#include "service/store/store.h"

namespace snipora::service {

class ThreatFeeds {
 public:
  ThreatFeeds(std::vector<ThreatFeedSource> sources, std::chrono::seconds interval, Store& store, Metrics& metrics,
              ThreatsInForce& inForce);
  ~ThreatFeeds();  // Stop()
  ThreatFeeds(const ThreatFeeds&) = delete;
  ThreatFeeds& operator=(const ThreatFeeds&) = delete;

  // Puts the versions the store holds in force; false (logged) when the
  // store failed, and the entries in force stay.
  bool Reload();
  // Starts fetching (at once, then every interval); nothing without feeds.
  void Start();
  void Stop();

 private:
  struct Feed {
    ThreatFeedSource source;
    // what the last answer said, for the next conditional fetch
    std::string etag, lastModified;
    bool failing = false;
  };
  void Run();
  // One fetch; true when a new version was written.
  bool Fetch(Feed& feed);
  // Every link against the entries in force; false when the store failed
  // (tried again after the next fetches).
  bool Recheck();

  const std::chrono::seconds interval_;
  Store& store_;
  Metrics& metrics_;
  ThreatsInForce& inForce_;
  std::mutex mutex_;  // feeds_ and the stop flag
  std::vector<Feed> feeds_;
  std::mutex reloadMutex_;  // one reload at a time: the later one reads the later versions
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> stopRecheck_{false};
  std::thread thread_;
};

}  // namespace snipora::service
