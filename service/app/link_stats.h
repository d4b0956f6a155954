#pragma once
// A link's analytics over a period as the store holds them, per day and
// for the whole period: clicks, bots, QR visits, different visitors (the
// days' sketches merged, not their estimates added), and the counts by
// referring host (the top 50, the rest as "other"), country, browser,
// system and device. Unknown codes' visits read the same way.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/distinct_count.h"
#include "service/store/store.h"

namespace snipora::service {

using NameCounts = std::map<std::string, int64_t, std::less<>>;

struct DayStats {
  int64_t day = 0;
  int64_t clicks = 0, bots = 0, qr = 0;
  int64_t unique = 0;
  // referrer, country, browser, os, device (the stored kinds)
  std::map<std::string, NameCounts, std::less<>> by;
  const NameCounts& Of(std::string_view kind) const;
};

struct LinkStats {
  std::vector<DayStats> days;  // the days with any visit, in order
  DayStats period;             // its day: the period's first
};

// The dimensions each day and period answer, in the answers' order.
inline constexpr std::string_view kStatsDimensions[] = {"referrer", "country", "browser", "os", "device"};

// Reads through the store (which may throw StoreError).
LinkStats ReadLinkStats(Store& store, std::string_view key, int64_t fromDay, int64_t toDay);

struct UnknownStats {
  struct Day {
    int64_t day = 0, visits = 0;
  };
  std::vector<Day> days;
  int64_t total = 0;
  NameCounts codes;  // the top 50 codes asked, the rest as "other"
};
UnknownStats ReadUnknownStats(Store& store, int64_t fromDay, int64_t toDay);

}  // namespace snipora::service
