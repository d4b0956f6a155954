#pragma once
// Every stored link checked again against the threat feeds in force, when a
// feed changes: on the feeds' thread, never a request's; the links matching
// put under review a step at a time (one transaction each), so the writer's
// commits go on between them and redirects read the store as before.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "service/core/threat_feed.h"
#include "service/store/store.h"

namespace snipora::service {

// Links put under review in one transaction at most.
inline constexpr std::size_t kRecheckStep = 1000;

struct RecheckFigures {
  int64_t checked = 0;
  std::size_t quarantined = 0;
  std::chrono::milliseconds took{0};
};

// The reason a feed's entry gives a link it matches (Link::quarantine): the
// same entry gives the same reason, which a release holds against.
std::string QuarantineReason(const ThreatMatch& match);

// Throws StoreError; `stop` ends it early (between links).
RecheckFigures RecheckLinks(Store& store, const ThreatMatcher& matcher, const std::atomic<bool>& stop);

}  // namespace snipora::service
