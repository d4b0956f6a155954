#include "service/app/link_stats.h"

#include <algorithm>
#include <cmath>

namespace snipora::service {
namespace {

constexpr std::size_t kTopShown = 50;

// The top names of a count, the rest (and any "other" already) as "other":
// several flushes and instances may each have written a different top list.
void KeepTop(NameCounts& counts) {
  if (counts.size() <= kTopShown) return;
  std::vector<std::pair<std::string, int64_t>> order(counts.begin(), counts.end());
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  NameCounts kept;
  int64_t other = 0;
  std::size_t shown = 0;
  for (const auto& [name, count] : order) {
    if (name != kOtherName && shown < kTopShown) {
      kept.emplace(name, count);
      ++shown;
    } else {
      other += count;
    }
  }
  if (other) kept[std::string(kOtherName)] += other;
  counts.swap(kept);
}

DayStats& DayOf(std::map<int64_t, DayStats>& days, int64_t day) {
  DayStats& stats = days[day];
  stats.day = day;
  return stats;
}

}  // namespace

const NameCounts& DayStats::Of(std::string_view kind) const {
  static const NameCounts kNone;
  const auto found = by.find(kind);
  return found == by.end() ? kNone : found->second;
}

LinkStats ReadLinkStats(Store& store, std::string_view key, int64_t fromDay, int64_t toDay) {
  std::map<int64_t, DayStats> days;
  LinkStats stats;
  stats.period.day = fromDay;
  for (const DayCount& count : store.ClicksByDay(key, fromDay, toDay)) {
    DayOf(days, count.day).clicks = count.clicks;
    stats.period.clicks += count.clicks;
  }
  for (const TallyRow& row : store.TalliesByDay(key, fromDay, toDay)) {
    DayStats& day = DayOf(days, row.day);
    if (row.kind == kTallyBots) {
      day.bots += row.count;
      stats.period.bots += row.count;
    } else if (row.kind == kTallyQr) {
      day.qr += row.count;
      stats.period.qr += row.count;
    } else {
      day.by[row.kind][row.name] += row.count;
      stats.period.by[row.kind][row.name] += row.count;
    }
  }
  DistinctCount whole;
  {
    std::map<int64_t, DistinctCount> sketches;
    for (const RegisterRow& row : store.RegistersByDay(key, fromDay, toDay))
      sketches[row.day].Raise(uint16_t(row.index), uint8_t(row.rank));
    for (auto& [day, sketch] : sketches) {
      DayOf(days, day).unique = std::llround(sketch.Estimate());
      whole.Merge(sketch);
    }
  }
  stats.period.unique = std::llround(whole.Estimate());
  for (auto& [number, day] : days) {
    for (auto& [kind, counts] : day.by) KeepTop(counts);
    stats.days.push_back(std::move(day));
  }
  for (auto& [kind, counts] : stats.period.by) KeepTop(counts);
  return stats;
}

UnknownStats ReadUnknownStats(Store& store, int64_t fromDay, int64_t toDay) {
  UnknownStats stats;
  for (const TallyRow& row : store.TalliesByDay(kUnknownCodes, fromDay, toDay)) {
    if (row.kind != kTallyUnknown) continue;
    if (row.name == kTotalName) {
      if (stats.days.empty() || stats.days.back().day != row.day) stats.days.push_back({row.day, 0});
      stats.days.back().visits += row.count;
      stats.total += row.count;
    } else {
      stats.codes[row.name] += row.count;
    }
  }
  KeepTop(stats.codes);
  return stats;
}

}  // namespace snipora::service
