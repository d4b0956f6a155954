#include "service/core/allowed_hosts.h"

#include <algorithm>

#include "service/core/forwarded.h"
#include "service/core/request.h"

namespace snipora::service {
namespace {

bool IsPort(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsLoopbackOrAny(std::string_view address) {
  static const std::optional<AddressRanges> kLocal = AddressRanges::Parse("127.0.0.0/8, ::1, 0.0.0.0, ::", nullptr);
  return kLocal->Contains(address);
}

}  // namespace

std::optional<std::string> HostKey(std::string_view hostAndPort) {
  // what a host and port may hold (RFC 3986's reg-name, IP literal, port)
  for (char c : hostAndPort)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          std::string_view("-._~%!$&'()*+,;=:[]").find(c) != std::string_view::npos))
      return std::nullopt;
  std::string_view host = hostAndPort, port;
  // an IPv6 address without brackets (as an option may be written) has no port
  if (std::count(host.begin(), host.end(), ':') > 1 && !host.starts_with('[')) return CanonicalAddress(host);
  if (host.starts_with('[')) {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    port = host.substr(close + 1);
    if (!port.empty() && port[0] != ':') return std::nullopt;
    host = host.substr(1, close - 1);
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    port = host.substr(colon);
    host = host.substr(0, colon);
  }
  if (!port.empty() && !IsPort(port.substr(1))) return std::nullopt;
  if (std::optional<std::string> address = CanonicalAddress(host)) return address;
  while (host.ends_with('.')) host.remove_suffix(1);
  if (host.empty() || host.find_first_of(":[]") != std::string_view::npos) return std::nullopt;
  std::string key(host);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return key;
}

std::optional<std::string_view> RequestHost(std::string_view target, const char* host) {
  if (StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://")) {
    std::string_view authority = target.substr(target.find("://") + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    return authority;
  }
  if (!host) return std::nullopt;
  return std::string_view(host);
}

std::optional<AllowedHosts> AllowedHosts::Parse(std::string_view list, std::string* error) {
  AllowedHosts hosts;
  while (!list.empty()) {
    const std::size_t end = list.find_first_of(", \t");
    const std::string_view entry = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
    if (entry.empty()) continue;
    if (entry == "*") {
      hosts.any_ = true;
      continue;
    }
    std::optional<std::string> key = HostKey(entry);
    if (!key) {
      if (error) *error = "'" + std::string(entry) + "' is not a host name or address with an optional port";
      return std::nullopt;
    }
    hosts.keys_.push_back(std::move(*key));
  }
  return hosts;
}

AllowedHosts AllowedHosts::Default(const std::vector<std::string>& publicHosts, std::string_view listenHost) {
  AllowedHosts hosts;
  for (const std::string& host : publicHosts)
    if (std::optional<std::string> key = HostKey(host)) hosts.keys_.push_back(std::move(*key));
  if (std::optional<std::string> listen = CanonicalAddress(listenHost)) {
    hosts.keys_.push_back(*listen);
    if (IsLoopbackOrAny(*listen))
      for (const char* local : {"localhost", "127.0.0.1", "::1"}) hosts.keys_.push_back(local);
  }
  return hosts;
}

bool AllowedHosts::Allows(std::string_view host) const {
  if (any_) return true;
  // the usual case first, as every request asks: a host spelled as listed,
  // but for its letter case, port or trailing dot
  const std::size_t colon = host.find(':');
  if (colon == std::string_view::npos || IsPort(host.substr(colon + 1))) {
    std::string_view bare = host.substr(0, colon);
    while (bare.ends_with('.')) bare.remove_suffix(1);
    for (const std::string& key : keys_)
      if (SameNoCase(bare, key)) return true;
  }
  const std::optional<std::string> key = HostKey(host);
  return key && std::find(keys_.begin(), keys_.end(), *key) != keys_.end();
}

}  // namespace snipora::service
