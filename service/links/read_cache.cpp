#include "service/links/read_cache.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

namespace snipora::service {

// One cached link in one allocation: this head, then (8-aligned) the expiry
// when it has one, the click limit and the stored clicks when it has one,
// then the key, the address, the host unless it is a piece of the address,
// and a disabled link's public note.
struct LinkCache::Entry {
  enum Flag : uint8_t {
    kReferenced = 1,  // used since the hand last passed
    kDisabled = 2,
    kDenied = 4,  // the deny verdict of `judgedAt`
    kHasExpiry = 8,
    kHasLimit = 16,
    kHostApart = 32,  // the host's bytes follow the address's
    kPlain = 64,      // no byte of the address needs escaping in a Location
    kQuarantined = 128,
  };
  int64_t pending = 0;     // clicks counted since the last take
  uint32_t clickedAt = 0;  // its place in Shard::clicked while pending > 0
  uint32_t judgedAt = 0;   // the deny list's generation of kDenied; 0: not judged
  uint32_t addressSize = 0, noteSize = 0, hostAt = 0;
  uint16_t hostSize = 0;
  uint8_t keySize = 0;
  uint8_t flags = 0;

  std::size_t LifeWords() const { return (flags & kHasExpiry ? 1 : 0) + (flags & kHasLimit ? 2 : 0); }
  int64_t* Words() { return reinterpret_cast<int64_t*>(this + 1); }
  const int64_t* Words() const { return reinterpret_cast<const int64_t*>(this + 1); }
  int64_t expires() const { return Words()[0]; }
  int64_t& limit() { return Words()[flags & kHasExpiry ? 1 : 0]; }
  int64_t& clicks() { return Words()[flags & kHasExpiry ? 2 : 1]; }
  const char* Bytes() const { return reinterpret_cast<const char*>(Words() + LifeWords()); }
  std::string_view key() const { return {Bytes(), keySize}; }
  std::string_view address() const { return {Bytes() + keySize, addressSize}; }
  std::string_view host() const {
    return {flags & kHostApart ? Bytes() + keySize + addressSize : Bytes() + keySize + hostAt, hostSize};
  }
  std::string_view note() const {
    return {Bytes() + keySize + addressSize + (flags & kHostApart ? hostSize : 0), noteSize};
  }

  // Null when a size does not fit its field (never for what the store
  // keeps: codes, addresses and notes are far shorter).
  static Entry* Make(std::string_view key, const LinkLife& life) {
    const std::string_view address = life.address, host = life.host,
                           note = life.disabled ? std::string_view(life.publicNote) : std::string_view();
    if (key.size() > std::numeric_limits<uint8_t>::max() || host.size() > std::numeric_limits<uint16_t>::max() ||
        address.size() > std::numeric_limits<uint32_t>::max() || note.size() > std::numeric_limits<uint32_t>::max())
      return nullptr;
    // an address keeps its host's bytes in lower case: most hosts are a piece of it
    const std::size_t at = host.empty() ? 0 : address.find(host);
    const bool apart = at == std::string_view::npos;
    uint8_t flags = (life.disabled ? kDisabled : 0) | (life.quarantined ? kQuarantined : 0) |
                    (life.expires ? kHasExpiry : 0) | (life.maxClicks ? kHasLimit : 0) | (apart ? kHostApart : 0);
    if (std::all_of(address.begin(), address.end(), [](char c) { return c > 0x20 && c < 0x7F; })) flags |= kPlain;
    const std::size_t words = (life.expires ? 1 : 0) + (life.maxClicks ? 2 : 0);
    const std::size_t size = sizeof(Entry) + words * sizeof(int64_t) + key.size() + address.size() +
                             (apart ? host.size() : 0) + note.size();
    auto* entry = new (::operator new(size)) Entry;
    entry->addressSize = uint32_t(address.size());
    entry->noteSize = uint32_t(note.size());
    entry->hostAt = apart ? 0 : uint32_t(at);
    entry->hostSize = uint16_t(host.size());
    entry->keySize = uint8_t(key.size());
    entry->flags = flags;
    int64_t* word = entry->Words();
    if (life.expires) *word++ = *life.expires;
    if (life.maxClicks) {
      *word++ = *life.maxClicks;
      *word++ = life.clicks;
    }
    char* bytes = reinterpret_cast<char*>(word);
    const auto put = [&bytes](std::string_view text) {
      if (!text.empty()) std::memcpy(bytes, text.data(), text.size());
      bytes += text.size();
    };
    put(key);
    put(address);
    if (apart) put(host);
    put(note);
    return entry;
  }
  static void Free(Entry* entry) {
    entry->~Entry();
    ::operator delete(entry);
  }
};

struct LinkCache::Shard {
  mutable std::mutex mutex;
  // open addressing, linear probing, no tombstones (a removal shifts the
  // run after it back); `tags` holds a byte of each key's hash, 0 where the
  // slot is empty, so most probes read no entry
  std::unique_ptr<Entry*[]> slots;
  std::unique_ptr<uint8_t[]> tags;
  std::size_t mask = 0;  // slots - 1; no slots yet when `slots` is null
  std::size_t count = 0;
  std::size_t hand = 0;          // CLOCK's, a slot
  std::vector<Entry*> clicked;  // the entries with clicks, so a click costs no lookup
  // clicks of codes not cached (any more)
  std::unordered_map<std::string, int64_t, TransparentHash, std::equal_to<>> loose;
  uint64_t hits = 0, misses = 0;

  ~Shard() {
    if (slots)
      for (std::size_t i = 0; i <= mask; ++i)
        if (slots[i]) Entry::Free(slots[i]);
  }
  std::size_t Slots() const { return slots ? mask + 1 : 0; }
  // The slot of the key; null-entried when it is not there.
  std::size_t Probe(std::string_view key, std::size_t hash) const {
    const uint8_t tag = TagOf(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      if (tags[i] == 0) return i;
      if (tags[i] == tag && slots[i]->key() == key) return i;
    }
  }
  Entry* Lookup(std::string_view key, std::size_t hash, std::size_t* at = nullptr) const {
    if (!slots) return nullptr;
    const std::size_t slot = Probe(key, hash);
    if (at) *at = slot;
    return slots[slot];
  }
  static uint8_t TagOf(std::size_t hash) { return uint8_t(hash >> 56) | 1; }
};

namespace {

std::size_t HashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }

// The largest share of a table's slots in use before it doubles.
constexpr std::size_t kLoadNumerator = 3, kLoadDenominator = 4;
constexpr std::size_t kFirstSlots = 16;

}  // namespace

LinkCache::LinkCache(std::size_t capacity)
    : capacity_(capacity), perShard_((capacity + kShards - 1) / kShards), shards_(new Shard[kShards]) {}

LinkCache::~LinkCache() = default;

LinkCache::Shard& LinkCache::ShardOf(std::size_t hash) const {
  // the high bits: the shard's own table indexes by the low ones, its tags
  // are the top byte
  return shards_[(hash >> 40) % kShards];
}

LinkLife LifeOf(const Link& link) {
  LinkLife life{link.address, CheckAddress(link.address, {}, DenyList()).host, link.disabled, link.publicNote,
                link.expires, link.maxClicks, link.clicks, !link.quarantine.empty()};
  return life;
}

bool IsGone(const LinkLife& life, int64_t now, const DenyList& denied) {
  return life.disabled || life.quarantined || (life.expires && now >= *life.expires) || (life.maxClicks && life.clicks >= *life.maxClicks) ||
         (denied.size() > 0 && !life.host.empty() && denied.Denies(life.host));
}

// `denied(entry)`: whether the entry's host is denied now.
template <class Judge>
void LinkCache::Resolve(Shard& shard, Entry& entry, bool click, int64_t now, Judge&& denied, Resolved& resolved) {
  const bool gone = (entry.flags & (Entry::kDisabled | Entry::kQuarantined)) ||
                    ((entry.flags & Entry::kHasExpiry) && now >= entry.expires()) ||
                    ((entry.flags & Entry::kHasLimit) && entry.clicks() >= entry.limit()) || denied(entry);
  resolved.underReview = (entry.flags & (Entry::kDisabled | Entry::kQuarantined)) == Entry::kQuarantined;
  if (gone) {
    resolved.state = Resolved::kGone;
    resolved.address.clear();
    resolved.plain = false;
    resolved.publicNote.assign(entry.note());
    return;
  }
  if (click) {
    if (entry.pending++ == 0) {
      entry.clickedAt = uint32_t(shard.clicked.size());
      shard.clicked.push_back(&entry);
    }
    if (entry.flags & Entry::kHasLimit) ++entry.clicks();
  }
  resolved.state = Resolved::kLive;
  resolved.address.assign(entry.address());
  resolved.plain = (entry.flags & Entry::kPlain) != 0;
  resolved.publicNote.clear();
}

namespace {

// The deny verdict against a list given: judged each time.
auto JudgedBy(const DenyList& list) {
  return [&list](const auto& entry) { return list.size() > 0 && entry.hostSize > 0 && list.Denies(entry.host()); };
}

}  // namespace

// Out of the shard and freed; its clicks stay counted, loose.
void LinkCache::Unlink(Shard& shard, std::size_t slot) {
  Entry* entry = shard.slots[slot];
  if (entry->pending > 0) {
    // its place in `clicked` goes to the last one there
    shard.loose[std::string(entry->key())] += entry->pending;
    Entry* moved = shard.clicked.back();
    shard.clicked[entry->clickedAt] = moved;
    moved->clickedAt = entry->clickedAt;
    shard.clicked.pop_back();
  }
  // the run after the hole moves back into it wherever its keys' home slots allow
  std::size_t hole = slot;
  for (std::size_t next = (slot + 1) & shard.mask; shard.tags[next] != 0; next = (next + 1) & shard.mask) {
    const std::size_t home = HashOf(shard.slots[next]->key()) & shard.mask;
    if (((next - home) & shard.mask) >= ((next - hole) & shard.mask)) {
      shard.slots[hole] = shard.slots[next];
      shard.tags[hole] = shard.tags[next];
      hole = next;
    }
  }
  shard.slots[hole] = nullptr;
  shard.tags[hole] = 0;
  --shard.count;
  Entry::Free(entry);
}

void LinkCache::Evict(Shard& shard) {
  // at most two rounds: the first clears every bit it passes
  for (;; shard.hand = (shard.hand + 1) & shard.mask) {
    Entry* entry = shard.slots[shard.hand];
    if (!entry) continue;
    if (entry->flags & Entry::kReferenced) {
      entry->flags &= ~Entry::kReferenced;
      continue;
    }
    // the hand stays: what moves back into the slot is looked at next
    Unlink(shard, shard.hand);
    return;
  }
}

// Into the table, which has no entry of that key, growing it first if need be.
void LinkCache::Place(Shard& shard, std::size_t hash, Entry* entry) {
  if ((shard.count + 1) * kLoadDenominator > shard.Slots() * kLoadNumerator) {
    const std::size_t slots = shard.slots ? 2 * shard.Slots() : kFirstSlots;
    Shard grown;
    grown.slots.reset(new Entry*[slots]());
    grown.tags.reset(new uint8_t[slots]());
    grown.mask = slots - 1;
    for (std::size_t i = 0; i < shard.Slots(); ++i)
      if (Entry* old = shard.slots[i]) {
        const std::size_t oldHash = HashOf(old->key());
        const std::size_t at = grown.Probe(old->key(), oldHash);
        grown.slots[at] = old;
        grown.tags[at] = Shard::TagOf(oldHash);
      }
    shard.slots.swap(grown.slots);
    shard.tags.swap(grown.tags);
    shard.mask = grown.mask;
    grown.slots.reset();  // the entries are the shard's
    shard.hand = 0;
  }
  const std::size_t at = shard.Probe(entry->key(), hash);
  shard.slots[at] = entry;
  shard.tags[at] = Shard::TagOf(hash);
  ++shard.count;
}

void LinkCache::Drop(std::string_view code) {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  std::lock_guard lock(shard.mutex);
  epoch_.fetch_add(1, std::memory_order_acq_rel);
  std::size_t slot = 0;
  if (shard.Lookup(code, hash, &slot)) Unlink(shard, slot);
}

Resolved LinkCache::Find(std::string_view code, bool click, int64_t now, const DenyList& denied) {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  Resolved resolved;
  std::lock_guard lock(shard.mutex);
  Entry* entry = shard.Lookup(code, hash);
  if (!entry) {
    ++shard.misses;
    return resolved;
  }
  ++shard.hits;
  entry->flags |= Entry::kReferenced;
  Resolve(shard, *entry, click, now, JudgedBy(denied), resolved);
  return resolved;
}

void LinkCache::Find(std::string_view code, bool click, int64_t now, const DenyListInForce& denied,
                     Resolved& resolved) {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  std::lock_guard lock(shard.mutex);
  Entry* entry = shard.Lookup(code, hash);
  if (!entry) {
    ++shard.misses;
    resolved.state = Resolved::kMiss;
    return;
  }
  ++shard.hits;
  if (!(entry->flags & Entry::kReferenced)) entry->flags |= Entry::kReferenced;
  const auto judged = [&denied](Entry& judging) {
    const uint32_t generation = denied.generation();
    if (judging.judgedAt != generation) {
      const std::shared_ptr<const DenyList> list = denied.Current();
      const bool deny = JudgedBy(*list)(judging);
      judging.flags = deny ? (judging.flags | Entry::kDenied) : (judging.flags & ~Entry::kDenied);
      judging.judgedAt = generation;
    }
    return (judging.flags & Entry::kDenied) != 0;
  };
  Resolve(shard, *entry, click, now, judged, resolved);
}

Resolved LinkCache::Insert(std::string_view code, LinkLife life, bool click, int64_t now, const DenyList& denied,
                           std::optional<uint64_t> readAt) {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  Resolved resolved;
  std::lock_guard lock(shard.mutex);
  if (Entry* found = shard.Lookup(code, hash)) {
    Resolve(shard, *found, click, now, JudgedBy(denied), resolved);
    return resolved;
  }
  // clicks counted but not yet written count towards max_clicks too
  if (const auto loose = shard.loose.find(code); loose != shard.loose.end()) life.clicks += loose->second;
  Entry* entry = perShard_ == 0 || (readAt && *readAt != epoch()) ? nullptr : Entry::Make(code, life);
  if (!entry) {
    if (IsGone(life, now, denied))
      return {Resolved::kGone, {}, life.disabled ? std::move(life.publicNote) : "", false,
              life.quarantined && !life.disabled};
    if (click) ++shard.loose[std::string(code)];
    return {Resolved::kLive, std::move(life.address), {}};
  }
  if (shard.count >= perShard_) Evict(shard);
  entry->flags |= Entry::kReferenced;
  Place(shard, hash, entry);
  Resolve(shard, *entry, click, now, JudgedBy(denied), resolved);
  return resolved;
}

bool LinkCache::InsertIfRoom(std::string_view code, LinkLife life) {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  std::lock_guard lock(shard.mutex);
  if (shard.count >= perShard_) return false;
  if (shard.Lookup(code, hash)) return true;
  Entry* entry = Entry::Make(code, life);
  if (!entry) return true;  // left to the store, as too large to cache
  // unreferenced: what requests bring in stays before it
  Place(shard, hash, entry);
  return true;
}

int64_t LinkCache::PendingClicks(std::string_view code) const {
  const std::size_t hash = HashOf(code);
  Shard& shard = ShardOf(hash);
  std::lock_guard lock(shard.mutex);
  const auto loose = shard.loose.find(code);
  const Entry* cached = shard.Lookup(code, hash);
  return (loose == shard.loose.end() ? 0 : loose->second) + (cached ? cached->pending : 0);
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
        const auto also = loose.find(entry->key());  // clicked, evicted, cached again
        if (also != loose.end()) {
          entry->pending += also->second;
          loose.erase(also);
        }
        counts.push_back({std::string(entry->key()), entry->pending, (entry->flags & Entry::kHasLimit) != 0});
        entry->pending = 0;
      }
      shard.clicked.clear();
    }
    for (auto& [code, clicks] : loose) counts.push_back({code, clicks});
  }
  return counts;
}

void LinkCache::ReturnClicks(const std::vector<ClickCount>& counts) {
  for (const ClickCount& count : counts) {
    Shard& shard = ShardOf(HashOf(count.code));
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
  return std::size_t(Sum([](const Shard& shard) { return uint64_t(shard.count); }));
}
uint64_t LinkCache::hits() const {
  return Sum([](const Shard& shard) { return shard.hits; });
}
uint64_t LinkCache::misses() const {
  return Sum([](const Shard& shard) { return shard.misses; });
}

}  // namespace snipora::service
