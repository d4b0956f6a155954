#include "service/core/referrer_host.h"

#include <cstring>

namespace snipora::service {
namespace {

bool HostByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string_view ReferrerHost(const char* referer, char* room) {
  if (!referer || !*referer) return kDirect;
  std::string_view text(referer);
  const std::size_t scheme = text.find("://");
  if (scheme == std::string_view::npos) return kUnknownReferrer;
  const std::string_view name = text.substr(0, scheme);
  if (name.size() != 4 && name.size() != 5) return kUnknownReferrer;
  const auto lower = [](char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  std::size_t i = 0;
  for (; i < name.size(); ++i)
    if (lower(name[i]) != "https"[i]) break;
  if (!(i == name.size() && (i == 4 || i == 5))) return kUnknownReferrer;
  std::string_view rest = text.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
  std::size_t length = 0;
  if (!rest.empty() && rest.front() == '[') {
    // an IPv6 address, kept in its brackets
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 > kMaxHost) return kUnknownReferrer;
    for (char c : rest.substr(0, close + 1)) {
      const char l = lower(c);
      if (!(HostByte(l) || l == ':' || l == '[' || l == ']')) return kUnknownReferrer;
      room[length++] = l;
    }
    return {room, length};
  }
  rest = rest.substr(0, rest.find(':'));
  if (rest.empty() || rest.size() > kMaxHost) return kUnknownReferrer;
  for (char c : rest) {
    const char l = lower(c);
    if (!HostByte(l)) return kUnknownReferrer;
    room[length++] = l;
  }
  return {room, length};
}

}  // namespace snipora::service
