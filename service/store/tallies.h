#pragma once
// What the analytics keep of a day's visits, as the store holds it: counts
// by link, day, kind and name (a referring host, a country, a family), and
// the registers of the day's different-visitor sketch. Nothing in them
// names a visitor: the sketch's registers are ranks of keyed hashes whose
// key (the day's salt) is deleted after its day.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// The kinds of count, as stored. The totals (bots, QR visits) are kept as
// long as the daily clicks; the rest for --analytics-retention-days.
inline constexpr std::string_view kTallyBots = "bots", kTallyQr = "qr", kTallyReferrer = "referrer",
                                  kTallyCountry = "country", kTallyBrowser = "browser", kTallySystem = "os",
                                  kTallyDevice = "device", kTallyUnknown = "unknown";
// The code under which visits to codes that do not exist are kept: no
// link's key is empty.
inline constexpr std::string_view kUnknownCodes = "";
// A name for the rest of a top list, and the unknown codes' total.
inline constexpr std::string_view kOtherName = "other", kTotalName = "";

struct TallyRow {
  std::string code;  // the link's key (kUnknownCodes for unknown codes)
  int64_t day = 0;   // days since 1970, UTC
  std::string kind;
  std::string name;
  int64_t count = 0;
};

struct RegisterRow {
  std::string code;
  int64_t day = 0;
  int index = 0;  // 0 .. 2^14 - 1
  int rank = 0;   // 1 .. 51
};

// One flush's analytics, written with its clicks (added to what is stored;
// registers by their maximum).
struct Tallies {
  std::vector<TallyRow> counts;
  std::vector<RegisterRow> registers;
  bool empty() const { return counts.empty() && registers.empty(); }
};

// What a retention step removes: the day's dimensions and registers, or
// its totals (daily clicks, bots, QR visits).
enum class TallyFamily { kDimensions, kTotals };

}  // namespace snipora::service
