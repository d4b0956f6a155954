#pragma once
// The threat feeds' entries in force, replaced whole when a feed's version
// changes, as the deny list is (deny_in_force.h): a reader takes the matcher
// it finds and judges by it alone.
#include <atomic>
#include <memory>

#include "service/core/threat_feed.h"

namespace snipora::service {

class ThreatsInForce {
 public:
  ThreatsInForce() : matcher_(std::make_shared<const ThreatMatcher>()) {}
  ThreatsInForce(const ThreatsInForce&) = delete;
  ThreatsInForce& operator=(const ThreatsInForce&) = delete;

  void Replace(std::shared_ptr<const ThreatMatcher> matcher) { matcher_.store(std::move(matcher)); }
  std::shared_ptr<const ThreatMatcher> Current() const { return matcher_.load(); }

 private:
  std::atomic<std::shared_ptr<const ThreatMatcher>> matcher_;
};

}  // namespace snipora::service
