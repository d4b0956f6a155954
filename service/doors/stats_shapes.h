#pragma once
// A link's analytics (app/link_stats.h) in the shapes the doors answer:
// the own API's members for a day or a period, and Kutt's statistics
// (allTime, lastDay, lastWeek, lastMonth).
#include <cstdint>

#include "service/app/link_stats.h"
#include "service/core/json_body.h"

namespace snipora::service {

// unique, bots, qr, referrers, countries, browsers, os, devices: each of
// the last five an object from name to count.
void AddStatsMembers(Json& object, const DayStats& stats);

// Kutt's periods, each {"stats": {"browser", "os", "country", "referrer"}
// (lists of {name, value}, the largest first), "views"}, from the link's
// days (read from its first day to `today`). Views are clicks per day (the
// last month's 30, the last week's 7, today's alone: no hours are kept),
// and for all time per calendar month, the last 18.
Json KuttStats(const LinkStats& stats, int64_t today);

}  // namespace snipora::service
