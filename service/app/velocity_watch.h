#pragma once
// Links that take clicks too fast for their age: a link younger than a day
// with more than --velocity-limit clicks in one UTC minute is flagged for
// review (logged, counted), and quarantined too with --velocity-quarantine.
// Fed the clicks of each of the writer's flushes, on the writer's thread:
// a redirect does nothing more than count its click, as it did.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "service/base/metrics.h"
#include "service/store/store.h"

namespace snipora::service {

class VelocityWatch {
 public:
  // `now`: seconds since 1970 (null: the system's clock).
  VelocityWatch(uint32_t limitPerMinute, bool quarantine, Store& store, Metrics& metrics,
                std::function<int64_t()> now = nullptr);
  // The clicks counted since the last flush, by link key.
  void Observe(const std::vector<ClickCount>& counts);

 private:
  void Judge(const std::string& key, int64_t clicks, int64_t now);

  const int64_t limit_;
  const bool quarantine_;
  Store& store_;
  Metrics& metrics_;
  const std::function<int64_t()> now_;
  int64_t minute_ = -1;
  std::unordered_map<std::string, int64_t> thisMinute_;  // clicks this minute, by key
  // links judged (flagged, or found older than a day), and when: each is
  // looked up once a day at most
  std::unordered_map<std::string, int64_t> judged_;
};

}  // namespace snipora::service
