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

}  // namespace snipora::service
