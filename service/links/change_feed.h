#pragma once
// What other instances and the command line changed, as the store's log of
// changes has it: a thread reads the changes after the last one it saw,
// every interval or at once when woken (a notification), and hands each to
// `apply` (drop a cached link, reload the keys), which answers false for a
// change to be handed again at the next read. A change committed out of
// order (a later number seen first) is still picked up: the thread keeps
// reading from the first number it has not seen, and gives up on one only
// after a while (a transaction that took a number and rolled back).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "service/store/store.h"

namespace snipora::service {

class ChangeFeed {
 public:
  // Starts after the store's last change; throws StoreError when it cannot
  // read it.
  ChangeFeed(Store& store, std::function<bool(const ChangeNote&)> apply, std::chrono::milliseconds interval);
  ~ChangeFeed();  // Stop()
  ChangeFeed(const ChangeFeed&) = delete;
  ChangeFeed& operator=(const ChangeFeed&) = delete;

  // Reads now rather than at the next interval.
  void Wake();
  void SetInterval(std::chrono::milliseconds interval) { intervalMs_ = interval.count(); }
  void Stop();

 private:
  void Run();
  void Poll();

  Store& store_;
  const std::function<bool(const ChangeNote&)> apply_;
  std::atomic<int64_t> intervalMs_;
  int64_t floor_;             // every change up to here was applied (or given up on)
  std::set<int64_t> seen_;    // applied above the floor
  std::map<int64_t, std::chrono::steady_clock::time_point> missing_;  // numbers skipped, since when
  bool failing_ = false;      // the last read failed (logged once until it works again)
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false, stopping_ = false;
  std::thread thread_;
};

}  // namespace snipora::service
