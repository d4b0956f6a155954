#pragma once
// Times as the service writes them: "2026-12-09T16:36:10Z" (UTC, whole
// seconds) for seconds since 1970, and back.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

std::string IsoUtc(long long seconds);
// Reads that form, or whole seconds since 1970; nothing for anything else.
std::optional<long long> ParseTime(std::string_view text);

// "2026-12-09T16:36:10+00:00": the same time with its offset written out, as
// other shorteners' APIs write times.
std::string IsoUtcWithOffset(long long seconds);
// ISO 8601 as those APIs' clients write it: a date ("2026-12-31", its
// midnight), or a date and time "2026-12-31T10:00[:00[.123]]" ("T", "t" or
// a space between) in a zone "Z", "+02:00", "+0200", "+02" or none (UTC);
// fractions of a second are dropped. Nothing for anything else.
std::optional<long long> ParseIsoTime(std::string_view text);

}  // namespace snipora::service
