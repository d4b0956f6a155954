#pragma once
// The referring host of a Referer header, in lower case: never its path,
// query or user name. An absent header is "direct"; one that names no host
// readably (another scheme, bytes a host name cannot hold) is "unknown".
#include <string_view>

namespace snipora::service {

inline constexpr std::string_view kDirect = "direct", kUnknownReferrer = "unknown";
inline constexpr std::size_t kMaxHost = 253;

// The host into `room` (at least kMaxHost bytes); the view is into `room`
// or one of the names above.
std::string_view ReferrerHost(const char* referer, char* room);

}  // namespace snipora::service
