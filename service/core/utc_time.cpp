#include "service/core/utc_time.h"

#include <charconv>
#include <ctime>

namespace snipora::service {

std::string IsoUtc(long long seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::optional<long long> ParseTime(std::string_view text) {
  long long value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status == std::errc() && end == text.data() + text.size()) {
    if (value < 0) return std::nullopt;
    return value;
  }
  // YYYY-MM-DDTHH:MM:SSZ exactly
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t length, int low, int high) -> std::optional<int> {
    int n = 0;
    const auto [stop, ok] = std::from_chars(text.data() + at, text.data() + at + length, n);
    if (ok != std::errc() || stop != text.data() + at + length || n < low || n > high) return std::nullopt;
    return n;
  };
  const auto year = number(0, 4, 1970, 9999), month = number(5, 2, 1, 12), day = number(8, 2, 1, 31),
             hour = number(11, 2, 0, 23), minute = number(14, 2, 0, 59), second = number(17, 2, 0, 60);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  std::tm utc{};
  utc.tm_year = *year - 1900;
  utc.tm_mon = *month - 1;
  utc.tm_mday = *day;
  utc.tm_hour = *hour;
  utc.tm_min = *minute;
  utc.tm_sec = *second;
  const std::time_t seconds = timegm(&utc);
  if (utc.tm_mday != *day) return std::nullopt;  // 31 April and the like
  return seconds;
}

}  // namespace snipora::service
