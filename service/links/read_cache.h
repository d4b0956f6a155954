#pragma once
// The codes this instance has resolved, the least recently used going when
// full (CLOCK, below), with what a redirect needs to know of each (its
// address and its life), and the clicks counted since the last flush. A
// cached entry answers without a database until a change drops it (Drop).
// Whether a link is gone is decided at each lookup, from the entry, the time
// and the deny list in force, so a date passing or a reloaded deny list take
// effect at once with no write. Sharded by the key's hash, a mutex each, so
// that the request threads rarely meet. Capacity 0 caches nothing (clicks
// are still counted).
//
// An entry is one allocation: a small head (the life fields, the clicks) and
// the key, address, host and note bytes after it; the shard's index is a flat
// table of entry pointers with a byte of each key's hash beside it, probed
// linearly, so a lookup costs a hash, a byte compare or two and one compare
// of the key. Entries are by the link's key (store.h: the code, with its
// domain before it on any domain but the default).
//
// Eviction is CLOCK: a hit sets the entry's referenced bit, and the hand,
// walking the table, takes the first entry whose bit is clear, clearing the
// bits it passes. A link asked for again within a sweep of the hand is kept,
// as LRU keeps one asked for again before it reaches the end of the list; on
// a skewed stream the hot links are referenced far more often than the hand
// comes round, so they stay, while a hit costs no list splicing and writes
// one bit that is usually set already.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/core/address_check.h"
#include "service/links/deny_in_force.h"
#include "service/store/store.h"

namespace snipora::service {

// What a redirect needs of a link.
struct LinkLife {
  std::string address;
  std::string host;  // of the address, in lower case: read once, for the deny list
  bool disabled = false;
  std::string publicNote;
  std::optional<int64_t> expires, maxClicks;
  int64_t clicks = 0;  // stored when cached, and counted by this instance since
  bool quarantined = false;  // under review (Link::quarantine)
};
LinkLife LifeOf(const Link& link);

struct Resolved {
  enum State { kMiss, kLive, kGone } state = kMiss;
  std::string address;     // kLive
  std::string publicNote;  // kGone: a disabled link's public note (an expired one shows none)
  bool plain = false;      // kLive from the cache: the address has no byte a header line cannot carry
  bool underReview = false;  // kGone for a quarantine alone (a disabled link shows its own page)
};
// Whether a link is gone now: disabled, quarantined, expired, out of clicks,
// or its host denied.
bool IsGone(const LinkLife& life, int64_t now, const DenyList& denied);

class LinkCache {
 public:
  explicit LinkCache(std::size_t capacity);
  ~LinkCache();
  LinkCache(const LinkCache&) = delete;
  LinkCache& operator=(const LinkCache&) = delete;

  // A cached code, marked used, live or gone at `now`; with `click`, one
  // click more for it when live. Counts a hit or a miss.
  Resolved Find(std::string_view code, bool click, int64_t now, const DenyList& denied);
  // The same, as a redirect asks: into `resolved`, whose strings keep their
  // room from one call to the next, and judged against the list in force,
  // read again only when it has been replaced since the entry was judged.
  void Find(std::string_view code, bool click, int64_t now, const DenyListInForce& denied, Resolved& resolved);
  // Caches a code (an entry there stays: a change drops it first) and
  // resolves it as Find does. With `readAt` (epoch() before the link was
  // read), a link read before a Drop since is answered but not cached: it
  // may be the row as it was before the change.
  Resolved Insert(std::string_view code, LinkLife life, bool click, int64_t now, const DenyList& denied,
                  std::optional<uint64_t> readAt = std::nullopt);
  // Counts the Drops.
  uint64_t epoch() const { return epoch_.load(std::memory_order_acquire); }
  // Caches a code only while its shard has room: false when it had none.
  // It is the first to go when room is needed.
  bool InsertIfRoom(std::string_view code, LinkLife life);
  // Forgets a code (it changed); its counted clicks stay counted.
  void Drop(std::string_view code);
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
  struct Entry;
  struct Shard;
  static constexpr std::size_t kShards = 16;
  Shard& ShardOf(std::size_t hash) const;
  template <class Judge>
  static void Resolve(Shard& shard, Entry& entry, bool click, int64_t now, Judge&& denied, Resolved& resolved);
  static void Unlink(Shard& shard, std::size_t slot);
  static void Evict(Shard& shard);
  static void Place(Shard& shard, std::size_t hash, Entry* entry);
  template <typename Read>
  uint64_t Sum(Read read) const;

  std::atomic<uint64_t> epoch_{0};
  const std::size_t capacity_;
  const std::size_t perShard_;
  std::unique_ptr<Shard[]> shards_;
};

}  // namespace snipora::service
