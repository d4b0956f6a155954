#pragma once
// Times as the service writes them: "2026-12-09T16:36:10Z" (UTC, whole
// seconds) for seconds since 1970, and back.
//
// Every time read, whatever door or command it comes through, lies between
// 1970-01-01T00:00:00Z and 9999-12-31T23:59:59Z: the readers here refuse
// anything else, so a time read may have a day or a second added without
// overflowing, and is always written back in the same four-digit form.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

inline constexpr long long kEarliestTime = 0;             // 1970-01-01T00:00:00Z
inline constexpr long long kLatestTime = 253402300799;    // 9999-12-31T23:59:59Z
inline constexpr bool InTimeRange(long long seconds) { return seconds >= kEarliestTime && seconds <= kLatestTime; }

// A time outside the range (a row stored before it was enforced) is written
// as the nearer end of it: a time far ahead stays far ahead, one before 1970
// stays past, and the text is always one a reader here takes back.
std::string IsoUtc(long long seconds);
// Reads that form, or whole seconds since 1970; nothing for anything else,
// or outside the range.
std::optional<long long> ParseTime(std::string_view text);

// "2026-12-09T16:36:10+00:00": the same time with its offset written out, as
// other shorteners' APIs write times.
std::string IsoUtcWithOffset(long long seconds);
// ISO 8601 as those APIs' clients write it: a date ("2026-12-31", its
// midnight), or a date and time "2026-12-31T10:00[:00[.123]]" ("T", "t" or
// a space between) in a zone "Z", "+02:00", "+0200", "+02" or none (UTC);
// fractions of a second are dropped. Nothing for anything else, or a time
// (its zone applied) outside the range.
std::optional<long long> ParseIsoTime(std::string_view text);

}  // namespace snipora::service
