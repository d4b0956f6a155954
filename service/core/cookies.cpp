#include "service/core/cookies.h"

#include <algorithm>

#include "service/core/request.h"

namespace snipora::service {

std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t end = std::min(header.find(';'), header.size());
    std::string_view pair = header.substr(0, end);
    header.remove_prefix(end == header.size() ? end : end + 1);
    while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t')) pair.remove_prefix(1);
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos || pair.substr(0, equals) != name) continue;
    std::string_view value = pair.substr(equals + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return value;
  }
  return std::nullopt;
}

bool FromOwnOrigin(const char* origin, const char* fetchSite, std::string_view ownOrigin) {
  // under Referrer-Policy: no-referrer a browser's form posts "null"; its
  // Sec-Fetch-Site still tells
  if (origin && std::string_view(origin) != "null") return SameNoCase(origin, ownOrigin);
  return fetchSite && std::string_view(fetchSite) == "same-origin";
}

std::string QueryEscape(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

}  // namespace snipora::service
