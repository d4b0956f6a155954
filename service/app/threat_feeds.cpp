#include "service/app/threat_feeds.h"

#include <ctime>
#include <memory>
#include <utility>

#include "service/app/link_recheck.h"
#include "service/base/log.h"
#include "service/core/threat_feed.h"
#include "service/http/feed_fetch.h"

namespace snipora::service {

ThreatFeeds::ThreatFeeds(std::vector<ThreatFeedSource> sources, std::chrono::seconds interval, Store& store,
                         Metrics& metrics, ThreatsInForce& inForce)
    : interval_(interval), store_(store), metrics_(metrics), inForce_(inForce) {
  for (ThreatFeedSource& source : sources) feeds_.push_back({std::move(source), {}, {}, false});
}

ThreatFeeds::~ThreatFeeds() { Stop(); }

bool ThreatFeeds::Reload() {
  std::lock_guard reloading(reloadMutex_);
  std::vector<FeedVersion> versions;
  try {
    versions = store_.ListFeedVersions();
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("threat feeds not read from the store, kept as they were: ") + error.what());
    return false;
  }
  auto matcher = std::make_shared<ThreatMatcher>();
  std::lock_guard lock(mutex_);
  // in the order the feeds were given, so the first listing an entry names it
  for (Feed& feed : feeds_) {
    for (const FeedVersion& version : versions) {
      if (version.name != feed.source.name) continue;
      const FeedEntries entries = ReadFeed(version.body);
      matcher->Add(feed.source.name, entries);
      // a restart asks conditionally too: no body again for a feed unchanged
      if (feed.etag.empty() && feed.lastModified.empty()) {
        feed.etag = version.etag;
        feed.lastModified = version.lastModified;
      }
    }
  }
  metrics_.threatEntries = matcher->size();
  inForce_.Replace(std::move(matcher));
  return true;
}

void ThreatFeeds::Start() {
  if (feeds_.empty() || thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

void ThreatFeeds::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopRecheck_ = true;
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ThreatFeeds::Run() {
  std::unique_lock lock(mutex_);
  bool recheck = false;  // a version written and not yet checked against every link
  while (!stopping_) {
    bool changed = false;
    for (std::size_t i = 0; i < feeds_.size() && !stopping_; ++i) {
      Feed feed = feeds_[i];
      lock.unlock();
      changed = Fetch(feed) || changed;
      lock.lock();
      feeds_[i].etag = feed.etag;
      feeds_[i].lastModified = feed.lastModified;
      feeds_[i].failing = feed.failing;
    }
    uint64_t failing = 0;
    for (const Feed& feed : feeds_) failing += feed.failing ? 1 : 0;
    metrics_.threatFeedsFailing = failing;
    if (changed || recheck) {
      lock.unlock();
      recheck = !(Reload() && Recheck());
      lock.lock();
    }
    wake_.wait_for(lock, interval_, [this] { return stopping_; });
  }
}

bool ThreatFeeds::Recheck() {
  try {
    const RecheckFigures figures = RecheckLinks(store_, *inForce_.Current(), stopRecheck_);
    Metrics::Add(metrics_.quarantined, figures.quarantined);
    Log(LogLevel::kInfo, "threat feeds: " + std::to_string(figures.checked) + " links checked in " +
                             std::to_string(figures.took.count()) + " ms, " + std::to_string(figures.quarantined) +
                             " put under review");
    return true;
  } catch (const StoreError& error) {
    Log(LogLevel::kError, std::string("threat feeds: the links were not all checked, tried again: ") + error.what());
    return false;
  }
}

bool ThreatFeeds::Fetch(Feed& feed) {
  const Fetched fetched = FetchFeed({feed.source.url, feed.etag, feed.lastModified});
  const std::string name = "threat feed " + feed.source.name;
  if (fetched.outcome == Fetched::kFailed) {
    Metrics::Add(metrics_.threatFeedFailures);
    feed.failing = true;
    Log(LogLevel::kWarning, name + ": the fetch failed, the version before is kept: " + fetched.error);
    return false;
  }
  Metrics::Add(metrics_.threatFeedFetches);
  if (feed.failing) Log(LogLevel::kInfo, name + ": fetched again");
  feed.failing = false;
  if (fetched.outcome == Fetched::kNotModified) return false;
  feed.etag = fetched.etag;
  feed.lastModified = fetched.lastModified;
  bool changed = false;
  try {
    changed = store_.SaveFeedVersion(
        {feed.source.name, fetched.body, fetched.etag, fetched.lastModified, int64_t(std::time(nullptr))});
  } catch (const StoreError& error) {
    // fetched again next time: nothing says the store holds this version
    feed.etag.clear();
    feed.lastModified.clear();
    Log(LogLevel::kError, name + ": the new version was not stored: " + error.what());
    return false;
  }
  if (changed) {
    const FeedEntries entries = ReadFeed(fetched.body);
    Log(LogLevel::kInfo, name + ": a new version, " + FeedFormatName(entries.format) + ", " +
                             std::to_string(entries.hosts.size()) + " hosts and " +
                             std::to_string(entries.urls.size()) + " addresses (" + std::to_string(entries.skipped) +
                             " lines skipped)");
  }
  return changed;
}

}  // namespace snipora::service
