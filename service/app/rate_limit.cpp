#include "service/app/rate_limit.h"

namespace snipora::service {

bool RateLimit::Allow(std::string_view client, Clock::time_point now) {
  if (perMinute_ == 0) return true;
  std::lock_guard lock(mutex_);
  if (now - windowStart_ >= std::chrono::minutes(1)) {
    counts_.clear();
    windowStart_ = now;
  }
  uint32_t& count = counts_[std::string(client)];
  if (count >= perMinute_) return false;
  ++count;
  return true;
}

}  // namespace snipora::service
