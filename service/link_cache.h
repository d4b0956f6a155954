#pragma once
// The codes this instance has resolved, least recently used out when full,
// and the clicks counted since the last flush. A mapping never changes once
// made, so a cached code needs no database, whichever instance made it.
// Sharded by the code's hash, a mutex each, so that the request threads
// rarely meet. Capacity 0 caches nothing (clicks are still counted).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/store.h"

namespace snipora::service {

class LinkCache {
 public:
  explicit LinkCache(std::size_t capacity);
  LinkCache(const LinkCache&) = delete;
  LinkCache& operator=(const LinkCache&) = delete;

  // The address of a cached code, made the most recent; with `click`, one
  // click more for it. Counts a hit or a miss.
  std::optional<std::string> Find(std::string_view code, bool click);
  // Caches a code (a cached code keeps its address); with `click`, one click
  // more for it.
  void Insert(std::string_view code, std::string_view address, bool click = false);
  // Caches a code only while its shard has room: false when it had none.
  bool InsertIfRoom(std::string_view code, std::string_view address);
  // Clicks counted for the code since they were last taken.
  int64_t PendingClicks(std::string_view code) const;
  // The counted clicks of every code that has any, setting them back to 0.
  std::vector<ClickCount> TakeClicks();
  // Counts taken that could not be written, counted again.
  void ReturnClicks(const std::vector<ClickCount>& counts);

  std::size_t size() const;
  std::size_t capacity() const { return capacity_; }
  uint64_t hits() const;
  uint64_t misses() const;

 private:
  struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  struct Entry {
    std::string code, address;
    int64_t clicks = 0;      // counted since the last take
    std::size_t clickedAt = 0;  // its place in Shard::clicked while clicks > 0
  };
  struct Shard {
    mutable std::mutex mutex;
    std::list<Entry> order;  // most recent first; entries never move in memory
    std::unordered_map<std::string_view, std::list<Entry>::iterator> index;
    std::vector<Entry*> clicked;  // the entries with clicks, so a click costs no lookup
    // clicks of codes not cached (any more)
    std::unordered_map<std::string, int64_t, TransparentHash, std::equal_to<>> loose;
    uint64_t hits = 0, misses = 0;
  };
  static constexpr std::size_t kShards = 16;
  Shard& ShardOf(std::string_view code) const;
  static void Click(Shard& shard, Entry& entry);
  static void Evict(Shard& shard);
  template <typename Read>
  uint64_t Sum(Read read) const;

  const std::size_t capacity_;
  const std::size_t perShard_;
  std::unique_ptr<Shard[]> shards_;
};

}  // namespace snipora::service
