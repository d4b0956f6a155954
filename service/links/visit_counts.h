#pragma once
// The analytics of this instance's redirects since the last flush, per link
// and UTC day, in memory: bots, QR visits, a sketch of the different
// visitors, the referring hosts (the day's top 50, the rest as "other"),
// countries, browsers, systems and devices. The clicks themselves are the
// read cache's. The writer takes them with the clicks (Take) and writes
// them in the same transaction. Nothing kept names a visitor: the address
// and user agent go only into a keyed hash under the day's salt, and the
// referrer only as its host.
//
// Sharded by the link's key, a mutex each, held for the few updates of one
// visit; a link's first visit of the period allocates its entry, later
// ones allocate only for a host or country not seen yet.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/core/distinct_count.h"
#include "service/core/keyed_hash.h"
#include "service/core/user_agent_families.h"
#include "service/links/country_lookup.h"
#include "service/store/tallies.h"

namespace snipora::service {

// One redirect as the analytics see it.
struct Visit {
  std::string_view client;     // the address the trusted-proxy rules give
  std::string_view userAgent;  // hashed with the client, never kept
  std::string_view referrer;   // its host alone (ReferrerHost)
  AgentFamilies families;
  bool bot = false;    // families.bot, or a HEAD
  bool quiet = false;  // DNT: 1 or Sec-GPC: 1: a click and nothing else
  bool qr = false;     // through the link's QR code
};

// The approximate heavy hitters of a stream (Space-Saving): k counters; an
// item not counted takes the smallest counter over, its count one more and
// its error that counter's count. Any item seen more than total/k times is
// kept; each kept count is at most its error above the true one.
class TopNames {
 public:
  explicit TopNames(std::size_t k) : k_(k) {}
  void Offer(std::string_view name);
  // The names with their surely counted visits (count - error), and the
  // rest (visits of names dropped, and the errors) under "other".
  void AppendRows(std::string_view code, int64_t day, std::string_view kind, std::vector<TallyRow>& rows) const;
  std::size_t HeapBytes() const;

 private:
  struct Counter {
    std::string name;
    uint32_t count = 0, error = 0;
  };
  std::size_t k_;
  std::vector<Counter> counters_;
  uint64_t total_ = 0;
};

inline constexpr std::size_t kTopReferrers = 50, kTopUnknownCodes = 50;

class VisitCounts {
 public:
  // `countries`: null without --geoip-database (every country unknown).
  VisitCounts(const CountryLookup* countries, int64_t day, const HashKey& salt);
  VisitCounts(const VisitCounts&) = delete;
  VisitCounts& operator=(const VisitCounts&) = delete;

  // A live link's redirect (its key); a quiet one or a bot counts only
  // as its kind.
  void Count(std::string_view key, const Visit& visit);
  // A visit to a code that does not exist.
  void CountUnknown(std::string_view code);
  // Everything counted since the last Take, as rows of the days they were
  // counted on; from now on counted on `day` under `salt`.
  Tallies Take(int64_t day, const HashKey& salt);

  // Bytes the counts hold now, roughly (the benchmarks' figure).
  std::size_t MemoryBytes() const;
  std::size_t Links() const;

 private:
  struct LinkDay {
    uint32_t bots = 0, qr = 0, counted = 0;
    std::array<uint32_t, std::size_t(Browser::kCount)> browsers{};
    std::array<uint32_t, std::size_t(System::kCount)> systems{};
    std::array<uint32_t, std::size_t(Device::kCount)> devices{};
    std::vector<std::pair<CountryCode, uint32_t>> countries;
    TopNames referrers{kTopReferrers};
    DistinctCount visitors;
  };
  struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  using Days = std::unordered_map<std::string, LinkDay, TransparentHash, std::equal_to<>>;
  struct alignas(64) Shard {
    mutable std::mutex mutex;
    Days days;
    int64_t day = 0;
    HashKey salt{};
  };
  static constexpr std::size_t kShards = 64;
  static void AppendRows(const std::string& code, int64_t day, const LinkDay& counts, Tallies& out);

  const CountryLookup* countries_;
  std::unique_ptr<Shard[]> shards_;
  std::mutex unknownMutex_;
  int64_t unknownDay_;
  uint64_t unknownTotal_ = 0;
  TopNames unknown_{kTopUnknownCodes};
};

}  // namespace snipora::service
