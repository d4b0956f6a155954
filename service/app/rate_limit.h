#pragma once
// At most N creations per client address per minute (fixed one-minute
// windows). Forgets the previous window's clients when a new one begins, so
// it holds at most one minute's worth of addresses.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace snipora::service {

class RateLimit {
 public:
  using Clock = std::chrono::steady_clock;
  explicit RateLimit(uint32_t perMinute) : perMinute_(perMinute) {}
  // Counts one creation of `client`; false when it is over the limit. A
  // limit of 0 allows everything.
  bool Allow(std::string_view client, Clock::time_point now = Clock::now());

 private:
  const uint32_t perMinute_;
  std::mutex mutex_;
  Clock::time_point windowStart_{};
  std::unordered_map<std::string, uint32_t> counts_;
};

}  // namespace snipora::service
