#pragma once
// The service's counters and latency histograms, in one registry that
// GET /metrics prints in the Prometheus text format. Lock-free to update.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace snipora::service {

// Every counter: its name, its help, one line each.
#define SNIPORA_COUNTERS(X)                                                          \
  X(requests, "snipora_requests_total", "Requests answered")                         \
  X(redirects, "snipora_redirects_total", "Short addresses followed")                \
  X(notFound, "snipora_not_found_total", "Requests for unknown codes or paths")      \
  X(gone, "snipora_gone_total", "Short addresses answered 410: disabled, expired or their host denied") \
  X(creations, "snipora_creations_total", "Short addresses made (newly stored)")     \
  X(known, "snipora_known_addresses_total", "Creations answered with a stored code") \
  X(refused, "snipora_refused_total", "Creations refused (address, alias or rate)")  \
  X(rateLimited, "snipora_rate_limited_total", "Creations refused with 429")         \
  X(badRequests, "snipora_bad_requests_total", "Malformed requests answered 400")    \
  X(storeErrors, "snipora_store_errors_total", "Requests failed by the store (503)") \
  X(commits, "snipora_commits_total", "Transactions committed for creations")        \
  X(clicksFlushed, "snipora_clicks_flushed_total", "Clicks written to the store")    \
  X(clickFlushErrors, "snipora_click_flush_errors_total", "Click writes that failed (kept for the next)") \
  X(headTimeouts, "snipora_head_timeouts_total", "Connections cut for slow or idle request heads")        \
  X(requestTimeouts, "snipora_request_timeouts_total", "Connections cut for requests not whole within --request-timeout") \
  X(misdirected, "snipora_misdirected_total", "Requests for a host not allowed, answered 421") \
  X(clicks, "snipora_clicks_total", "Redirects counted as people's visits (clicks)")                      \
  X(botVisits, "snipora_bot_visits_total", "Redirects by crawlers, link previews, empty agents and HEAD")   \
  X(qrVisits, "snipora_qr_visits_total", "Redirects through a link's QR code")                            \
  X(unknownCodeVisits, "snipora_unknown_code_visits_total", "Visits to codes that do not exist") \
  X(threatRefused, "snipora_threat_refused_total", "Creations refused for a threat feed's entry") \
  X(quarantined, "snipora_quarantined_total", "Links put under review (a threat feed's entry, their velocity)") \
  X(reputationFailures, "snipora_reputation_failures_total", "Lookups of a public host in a reputation zone unanswered") \
  X(velocityFlagged, "snipora_velocity_flagged_total", "Young links flagged for more clicks a minute than --velocity-limit") \
  X(webhooksDelivered, "snipora_webhook_delivered_total", "Webhook events a receiver took (a 2xx answer)") \
  X(webhookFailures, "snipora_webhook_failures_total", "Webhook deliveries that failed (tried again later)") \
  X(webhooksDropped, "snipora_webhook_dropped_total", "Webhook events given up after a day of failures") \
  X(threatFeedFetches, "snipora_threat_feed_fetches_total", "Fetches of threat feeds answered (a body or not modified)") \
  X(threatFeedFailures, "snipora_threat_feed_failures_total", "Fetches of threat feeds that failed (the version before kept)")

// Upper bounds in seconds; the last bucket is +Inf.
inline constexpr std::array<double, 14> kLatencyBounds = {0.00005, 0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005,
                                                          0.01,    0.025,  0.05,    0.1,    0.25,   0.5,    1.0};

class Histogram {
 public:
  void Observe(std::chrono::nanoseconds elapsed);
  void Print(std::string& out, const char* name, const char* help) const;

 private:
  std::array<std::atomic<uint64_t>, kLatencyBounds.size() + 1> buckets_{};
  std::atomic<uint64_t> sumNanoseconds_{0};
};

// Every histogram, likewise.
#define SNIPORA_HISTOGRAMS(X)                                                                 \
  X(redirectSeconds, "snipora_redirect_seconds", "Time to answer a redirect")                 \
  X(creationSeconds, "snipora_creation_seconds", "Time to answer a creation, commit included") \
  X(otherSeconds, "snipora_other_request_seconds", "Time to answer any other request")         \
  X(commitSeconds, "snipora_commit_seconds", "Time of one group commit")

// Figures copied in from elsewhere (the read cache) when /metrics is asked.
#define SNIPORA_SNAPSHOTS(X)                                                                      \
  X(cacheEntries, "snipora_cache_entries", "gauge", "Codes in the read cache")                     \
  X(cacheCapacity, "snipora_cache_capacity", "gauge", "Codes the read cache holds at most")        \
  X(cacheHits, "snipora_cache_hits_total", "counter", "Redirects answered from the read cache")    \
  X(cacheMisses, "snipora_cache_misses_total", "counter", "Redirects whose code was looked up in the store") \
  X(threatEntries, "snipora_threat_feed_entries", "gauge", "Hosts and addresses of the threat feeds in force") \
  X(threatFeedsFailing, "snipora_threat_feeds_failing", "gauge", "Threat feeds whose last fetch failed") \
  X(reputationListings, "snipora_reputation_listings", "gauge", "Public hosts listed now, one for each zone listing one")

struct Metrics {
#define SNIPORA_COUNTER_FIELD(field, name, help) std::atomic<uint64_t> field{0};
  SNIPORA_COUNTERS(SNIPORA_COUNTER_FIELD)
#undef SNIPORA_COUNTER_FIELD
#define SNIPORA_HISTOGRAM_FIELD(field, name, help) Histogram field;
  SNIPORA_HISTOGRAMS(SNIPORA_HISTOGRAM_FIELD)
#undef SNIPORA_HISTOGRAM_FIELD
#define SNIPORA_SNAPSHOT_FIELD(field, name, type, help) std::atomic<uint64_t> field{0};
  SNIPORA_SNAPSHOTS(SNIPORA_SNAPSHOT_FIELD)
#undef SNIPORA_SNAPSHOT_FIELD

  static void Add(std::atomic<uint64_t>& counter, uint64_t n = 1) { counter.fetch_add(n, std::memory_order_relaxed); }
  std::string Text() const;
};

}  // namespace snipora::service
