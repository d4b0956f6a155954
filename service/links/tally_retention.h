#pragma once
// The removal of analytics past their retention, on a thread of its own:
// at start and then every hour, the rows older than the setting are removed
// in steps of a few thousand, each its own short transaction with a pause
// after it, so that redirects (which never wait for the store) and
// creations (whose commits take the writer between two steps) go on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "service/store/store.h"

namespace snipora::service {

struct RetentionSettings {
  int64_t dimensionDays = 400;  // 0: kept for ever
  int64_t totalDays = 0;        // 0: kept for ever
  int stepRows = 2000;
  std::chrono::milliseconds pause{20};
  std::chrono::seconds every{3600};
  std::function<int64_t()> today;  // days since 1970, UTC; null: the clock's
};

class TallyRetention {
 public:
  TallyRetention(Store& store, RetentionSettings settings);
  ~TallyRetention();  // stops between two steps
  TallyRetention(const TallyRetention&) = delete;
  TallyRetention& operator=(const TallyRetention&) = delete;

  // Rows removed since start (tests, the log).
  int64_t removed() const;
  // Passes finished since start.
  int64_t passes() const;

 private:
  void Run();
  // false when stopping
  bool Pass();
  bool Wait(std::chrono::milliseconds pause);

  Store& store_;
  const RetentionSettings settings_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  int64_t removed_ = 0, passes_ = 0;
  std::thread thread_;
};

}  // namespace snipora::service
