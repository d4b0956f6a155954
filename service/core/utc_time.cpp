#include "service/core/utc_time.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace snipora::service {
namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The date of a day since 1970-01-01 (the inverse of DaysFromCivil).
void CivilFromDays(long long days, long long* y, unsigned* m, unsigned* d) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<long long>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

std::string IsoUtc(long long seconds) {
  seconds = seconds < kEarliestTime ? kEarliestTime : seconds > kLatestTime ? kLatestTime : seconds;
  long long year;
  unsigned month, day;
  CivilFromDays(seconds / 86400, &year, &month, &day);
  const long long inDay = seconds % 86400;
  char text[64];  // 21 used: the range keeps the year to four digits
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", year, month, day, inDay / 3600,
                inDay / 60 % 60, inDay % 60);
  return text;
}

std::optional<long long> ParseTime(std::string_view text) {
  long long value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status == std::errc() && end == text.data() + text.size()) {
    if (!InTimeRange(value)) return std::nullopt;
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
  // a leap second on the last day is already the year 10000
  if (!InTimeRange(seconds)) return std::nullopt;
  return seconds;
}

std::string IsoUtcWithOffset(long long seconds) {
  std::string text = IsoUtc(seconds);
  if (!text.empty() && text.back() == 'Z') text.replace(text.size() - 1, 1, "+00:00");
  return text;
}

std::optional<long long> ParseIsoTime(std::string_view text) {
  std::size_t at = 0;
  const auto digits = [&](std::size_t count) -> std::optional<int> {
    if (text.size() - at < count) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i, ++at) {
      if (!std::isdigit(static_cast<unsigned char>(text[at]))) return std::nullopt;
      value = value * 10 + (text[at] - '0');
    }
    return value;
  };
  const auto take = [&](char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  };
  const std::optional<int> year = digits(4);
  if (!year || !take('-')) return std::nullopt;
  const std::optional<int> month = digits(2);
  if (!month || !take('-')) return std::nullopt;
  const std::optional<int> day = digits(2);
  if (!day || *month < 1 || *month > 12) return std::nullopt;
  constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
  if (*day < 1 || *day > kDaysIn[*month - 1] + (*month == 2 && leap)) return std::nullopt;
  long long seconds = DaysFromCivil(*year, unsigned(*month), unsigned(*day)) * 86400;
  // the four digits and the zone's at most a day keep it far from overflowing;
  // the range is checked once the zone is applied
  const auto inRange = [](long long value) { return InTimeRange(value) ? std::optional<long long>(value) : std::nullopt; };
  if (at == text.size()) return inRange(seconds);
  if (!take('T') && !take('t') && !take(' ')) return std::nullopt;
  const std::optional<int> hour = digits(2);
  if (!hour || !take(':')) return std::nullopt;
  const std::optional<int> minute = digits(2);
  std::optional<int> second = 0;
  if (minute && take(':')) second = digits(2);
  if (!minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  seconds += *hour * 3600 + *minute * 60 + *second;
  if (take('.') || take(',')) {
    const std::size_t from = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    if (at == from) return std::nullopt;
  }
  if (at == text.size()) return inRange(seconds);
  if (take('Z') || take('z')) return at == text.size() ? inRange(seconds) : std::nullopt;
  const int sign = take('+') ? 1 : take('-') ? -1 : 0;
  if (sign == 0) return std::nullopt;
  const std::optional<int> offsetHours = digits(2);
  std::optional<int> offsetMinutes = 0;
  if (offsetHours && at < text.size()) {
    take(':');
    offsetMinutes = digits(2);
  }
  if (!offsetHours || !offsetMinutes || at != text.size() || *offsetHours > 23 || *offsetMinutes > 59)
    return std::nullopt;
  return inRange(seconds - sign * (*offsetHours * 3600 + *offsetMinutes * 60));
}

}  // namespace snipora::service
