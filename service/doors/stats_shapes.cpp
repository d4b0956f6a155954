#include "service/doors/stats_shapes.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

// The own API's member for each stored kind, in kStatsDimensions' order.
constexpr const char* kMembers[] = {"referrers", "countries", "browsers", "os", "devices"};
static_assert(std::size(kMembers) == std::size(kStatsDimensions));
// Kutt's, for the kinds it shows.
constexpr std::pair<const char*, std::string_view> kKuttStats[] = {
    {"browser", "browser"}, {"os", "os"}, {"country", "country"}, {"referrer", "referrer"}};

Json KuttList(const NameCounts& counts) {
  std::vector<std::pair<std::string, int64_t>> order(counts.begin(), counts.end());
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  Json list = Json::array();
  for (const auto& [name, value] : order) list.push_back(Json::object({{"name", name}, {"value", value}}));
  return list;
}

// The counts of the days from `first` to `last`.
std::map<std::string_view, NameCounts> Summed(const LinkStats& stats, int64_t first, int64_t last) {
  std::map<std::string_view, NameCounts> sums;
  for (const DayStats& day : stats.days) {
    if (day.day < first || day.day > last) continue;
    for (const auto& [kind, counts] : day.by)
      for (const auto& [name, count] : counts) sums[kind][name] += count;
  }
  return sums;
}

Json KuttPeriod(const LinkStats& stats, int64_t first, int64_t last, Json views) {
  const std::map<std::string_view, NameCounts> sums = Summed(stats, first, last);
  Json lists = Json::object();
  for (const auto& [member, kind] : kKuttStats) {
    const auto found = sums.find(kind);
    lists[member] = KuttList(found == sums.end() ? NameCounts() : found->second);
  }
  return Json::object({{"stats", std::move(lists)}, {"views", std::move(views)}});
}

int64_t ClicksOn(const LinkStats& stats, int64_t day) {
  for (const DayStats& each : stats.days)
    if (each.day == day) return each.clicks;
  return 0;
}

// A day's year and month, as a number of months since year 0.
int64_t MonthOf(int64_t day) {
  const std::string date = IsoUtc(day * 86400);
  return std::stoll(date.substr(0, 4)) * 12 + std::stoll(date.substr(5, 2)) - 1;
}

}  // namespace

void AddStatsMembers(Json& object, const DayStats& stats) {
  object["unique"] = stats.unique;
  object["bots"] = stats.bots;
  object["qr"] = stats.qr;
  for (std::size_t i = 0; i < std::size(kMembers); ++i) {
    Json counts = Json::object();
    for (const auto& [name, count] : stats.Of(kStatsDimensions[i])) counts[name] = count;
    object[kMembers[i]] = std::move(counts);
  }
}

Json KuttStats(const LinkStats& stats, int64_t today) {
  const auto daily = [&](int64_t days) {
    Json views = Json::array();
    for (int64_t day = today - days + 1; day <= today; ++day) views.push_back(ClicksOn(stats, day));
    return views;
  };
  constexpr int64_t kMonths = 18;
  std::vector<int64_t> months(kMonths, 0);
  const int64_t thisMonth = MonthOf(today);
  for (const DayStats& day : stats.days) {
    const int64_t back = thisMonth - MonthOf(day.day);
    if (back >= 0 && back < kMonths) months[std::size_t(kMonths - 1 - back)] += day.clicks;
  }
  Json monthly = Json::array();
  for (int64_t clicks : months) monthly.push_back(clicks);
  return Json::object({{"allTime", KuttPeriod(stats, INT64_MIN, today, std::move(monthly))},
                       {"lastDay", KuttPeriod(stats, today, today, daily(1))},
                       {"lastWeek", KuttPeriod(stats, today - 6, today, daily(7))},
                       {"lastMonth", KuttPeriod(stats, today - 29, today, daily(30))},
                       {"updatedAt", IsoUtc(std::time(nullptr))}});
}

}  // namespace snipora::service
