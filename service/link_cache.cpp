#include "service/link_cache.h"

#include <functional>

namespace snipora::service {

LinkCache::LinkCache(std::size_t capacity)
    : capacity_(capacity), perShard_((capacity + kShards - 1) / kShards), shards_(new Shard[kShards]) {}

LinkCache::Shard& LinkCache::ShardOf(std::string_view code) const {
  // the high bits: the shard's own table indexes by the low ones
  return shards_[(std::hash<std::string_view>{}(code) >> 40) % kShards];
}

void LinkCache::Click(Shard& shard, std::string_view code) {
  const auto counted = shard.clicks.find(code);
  if (counted != shard.clicks.end()) {
    ++counted->second;
  } else {
    shard.clicks.emplace(code, 1);
  }
}

std::optional<std::string> LinkCache::Find(std::string_view code, bool click) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  const auto found = shard.index.find(code);
  if (found == shard.index.end()) {
    ++shard.misses;
    return std::nullopt;
  }
  ++shard.hits;
  shard.order.splice(shard.order.begin(), shard.order, found->second);
  if (click) Click(shard, code);
  return found->second->address;
}

void LinkCache::Insert(std::string_view code, std::string_view address, bool click) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  if (click) Click(shard, code);
  if (perShard_ == 0 || shard.index.contains(code)) return;
  if (shard.order.size() >= perShard_) {
    shard.index.erase(shard.order.back().code);
    shard.order.pop_back();
  }
  shard.order.push_front({std::string(code), std::string(address)});
  shard.index.emplace(shard.order.front().code, shard.order.begin());
}

bool LinkCache::InsertIfRoom(std::string_view code, std::string_view address) {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  if (shard.order.size() >= perShard_) return false;
  if (shard.index.contains(code)) return true;
  // the least recent end: what requests bring in stays before it
  shard.order.push_back({std::string(code), std::string(address)});
  shard.index.emplace(shard.order.back().code, std::prev(shard.order.end()));
  return true;
}

int64_t LinkCache::PendingClicks(std::string_view code) const {
  Shard& shard = ShardOf(code);
  std::lock_guard lock(shard.mutex);
  const auto counted = shard.clicks.find(code);
  return counted == shard.clicks.end() ? 0 : counted->second;
}

std::vector<ClickCount> LinkCache::TakeClicks() {
  std::vector<ClickCount> counts;
  for (std::size_t i = 0; i < kShards; ++i) {
    decltype(Shard::clicks) taken;
    {
      std::lock_guard lock(shards_[i].mutex);
      taken.swap(shards_[i].clicks);
    }
    for (auto& [code, clicks] : taken) counts.push_back({code, clicks});
  }
  return counts;
}

void LinkCache::ReturnClicks(const std::vector<ClickCount>& counts) {
  for (const ClickCount& count : counts) {
    Shard& shard = ShardOf(count.code);
    std::lock_guard lock(shard.mutex);
    shard.clicks[count.code] += count.clicks;
  }
}

std::size_t LinkCache::size() const {
  std::size_t total = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    total += shards_[i].order.size();
  }
  return total;
}

uint64_t LinkCache::hits() const {
  uint64_t total = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    total += shards_[i].hits;
  }
  return total;
}

uint64_t LinkCache::misses() const {
  uint64_t total = 0;
  for (std::size_t i = 0; i < kShards; ++i) {
    std::lock_guard lock(shards_[i].mutex);
    total += shards_[i].misses;
  }
  return total;
}

}  // namespace snipora::service
