#pragma once
// The host names a request may be for (--allowed-hosts). A page that rebinds
// its own DNS name to an internal instance's address reaches the instance
// under that name, which is none of these: such requests get 421.
// Platform-neutral.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// A host as it is compared: lower case, without a port or a trailing dot; an
// IP address in its one text (IPv6 compressed, brackets off, IPv4-mapped as
// IPv4). Nothing for an empty host, a character no host holds, or a port
// that is not a number.
std::optional<std::string> HostKey(std::string_view hostAndPort);

// The host a request names: its target's in absolute form (which wins over
// Host, as RFC 9112 says), else its Host header; nothing when it names none
// (HTTP/1.0 without Host). `host` null: no Host header.
std::optional<std::string_view> RequestHost(std::string_view target, const char* host);

class AllowedHosts {
 public:
  // HOST[:PORT] entries separated by commas or spaces; "*" allows every host.
  // Nothing, with `error` naming the entry, when one is not a host.
  static std::optional<AllowedHosts> Parse(std::string_view list, std::string* error);
  // What is allowed without --allowed-hosts: the public host, the listen
  // address, and, when that is a loopback or a wildcard address (0.0.0.0,
  // ::), the names a local probe uses: localhost, 127.0.0.1 and ::1. A DNS
  // name of another site never spells these.
  static AllowedHosts Default(const std::vector<std::string>& publicHosts, std::string_view listenHost);

  // `host` as HOST[:PORT]; the port is not compared, since a proxy may change it.
  bool Allows(std::string_view host) const;

 private:
  std::vector<std::string> keys_;
  bool any_ = false;
};

}  // namespace snipora::service
