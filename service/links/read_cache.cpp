#include "service/links/read_cache.h"

#include <functional>

namespace snipora::service {

LinkCache::LinkCache(std::size_t capacity)
    : capacity_(capacity), perShard_((capacity + kShards - 1) / kShards), shards_(new Shard[kShards]) {}

LinkCache::Shard& LinkCache::ShardOf(std::string_view code) const {
  // the high bits: the shard's own table indexes by the low ones
  return shards_[(std::hash<std::string_view>{}(code) >> 40) % kShards];
}

void LinkCache::Click(Shard& shard, Entry& entry) {
  if (entry.clicks++ == 0) {
    entry.clickedAt = shard.clicked.size();
    shard.clicked.push_back(&entry);
  }
}

LinkLife LifeOf(const Link& link) {
  LinkLife life{link.address, CheckAddress(link.address, {}, DenyList()).host, link.disabled, link.publicNote,
                link.expires, link.maxClicks, link.clicks};
  return life;
}

bool IsGone(const LinkLife& life, int64_t now, const DenyList& denied) {
  return life.disabled || (life.expires && now >= *life.expires) || (life.maxClicks && life.clicks >= *life.maxClicks) ||
         (denied.size() > 0 && !life.host.empty() && denied.Denies(life.host));
}

Resolved LinkCache::Resolve(Shard& shard, Entry& entry, bool click, int64_t now, const DenyList& denied) {
  if (IsGone(entry.life, now, denied)) return {Resolved::kGone, {}, entry.life.disabled ? entry.life.publicNote : ""};
  if (click) {
    Click(shard, entry);
    ++entry.life.clicks;
  }
  return {Resolved::kLive, entry.life.address, {}};
}

// Out of the shard; its clicks stay counted, loose.
void LinkCache::Unlink(Shard& shard, std::list<Entry>::iterator entry) {
  if (entry->clicks > 0) {
    // its place in `clicked` goes to the last one there
    shard.loose[entry->code] += entry->clicks;
    Entry* moved = shard.clicked.back();
    shard.clicked[entry->clickedAt] = moved;
    moved->clickedAt = entry->clickedAt;
    shard.clicked.pop_back();
  }
  shard.index.erase(entry->code);
  shard.order.erase(entry);
}

void LinkCache::Evict(Shard& shard) { Unlink(shard, std::prev(shard.order.end())); }

void LinkCache::Drop(std::string_view code) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  epoch_.fetch_add(1, std::memory_order_acq_rel);
  if (const auto found = shard.index.find(code); found != shard.index.end()) Unlink(shard, found->second);
}

Resolved LinkCache::Find(std::string_view code, bool click, int64_t now, const DenyList& denied) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  const auto found = shard.index.find(code);
  if (found == shard.index.end()) {
    ++shard.misses;
    return {};
  }
  ++shard.hits;
  if (found->second != shard.order.begin()) shard.order.splice(shard.order.begin(), shard.order, found->second);
  return Resolve(shard, *found->second, click, now, denied);
}

Resolved LinkCache::Insert(std::string_view code, LinkLife life, bool click, int64_t now, const DenyList& denied,
                           std::optional<uint64_t> readAt) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  if (const auto found = shard.index.find(code); found != shard.index.end())
    return Resolve(shard, *found->second, click, now, denied);
  // clicks counted but not yet written count towards max_clicks too
  if (const auto loose = shard.loose.find(code); loose != shard.loose.end()) life.clicks += loose->second;
  if (perShard_ == 0 || (readAt && *readAt != epoch())) {
    if (IsGone(life, now, denied)) return {Resolved::kGone, {}, life.disabled ? std::move(life.publicNote) : ""};
    if (click) ++shard.loose[std::string(code)];
    return {Resolved::kLive, std::move(life.address), {}};
  }
  if (shard.order.size() >= perShard_) Evict(shard);
  shard.order.push_front({std::string(code), std::move(life)});
  shard.index.emplace(shard.order.front().code, shard.order.begin());
  return Resolve(shard, shard.order.front(), click, now, denied);
}

bool LinkCache::InsertIfRoom(std::string_view code, LinkLife life) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  if (shard.order.size() >= perShard_) return false;
  if (shard.index.contains(code)) return true;
  // the least recent end: what requests bring in stays before it
  shard.order.push_back({std::string(code), std::move(life)});
  shard.index.emplace(shard.order.back().code, std::prev(shard.order.end()));
  return true;
}

int64_t LinkCache::PendingClicks(std::string_view code) const {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  const auto loose = shard.loose.find(code);
  const auto cached = shard.index.find(code);
  return (loose == shard.loose.end() ? 0 : loose->second) + (cached == shard.index.end() ? 0 : cached->second->clicks);
}

std::vector<ClickCount> LinkCache::TakeClicks() {
  std::vector<ClickCount> counts;
  for (std::size_t i = 0; i < kShards; ++i) {
    Shard& shard = shards_[i];
    decltype(Shard::loose) loose;
    {
      std::lock_guard lock(shard.mutex);
      loose.swap(shard.loose);
      for (Entry* entry : shard.clicked) {
        const auto also = loose.find(entry->code);  // clicked, evicted, cached again
        if (also != loose.end()) {
          entry->clicks += also->second;
          loose.erase(also);
        }
        counts.push_back({entry->code, entry->clicks, entry->life.maxClicks.has_value()});
        entry->clicks = 0;
      }
      shard.clicked.clear();
    }
    for (auto& [code, clicks] : loose) counts.push_back({code, clicks});
  }
  return counts;
}

void LinkCache::ReturnClicks(const std::vector<ClickCount>& counts) {
  for (const ClickCount& count : counts) {
    Shard& shard = ShardOf(count.code);
    std::lock_guard lock(shard.mutex);
    shard.loose[count.code] += count.clicks;
  }
}

// A total over the shards, each read under its own lock.
template <typename Read>
uint64_t LinkCache::Sum(Read read) const {
  uint64_t total = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    total += read(shards_[i]);
  }
  return total;
}

std::size_t LinkCache::size() const {
  return std::size_t(Sum([](const Shard& shard) { return uint64_t(shard.order.size()); }));
}
uint64_t LinkCache::hits() const {
  return Sum([](const Shard& shard) { return shard.hits; });
}
uint64_t LinkCache::misses() const {
  return Sum([](const Shard& shard) { return shard.misses; });
}

}  // namespace snipora::service
