#pragma once
// The hosts a link must not lead to because they are this service's own: a
// link to one would lead back here, a redirect loop. Hosts are compared in
// the form CheckAddress gives them, so every spelling of one is the same
// host; a port is no part of it, since a proxy may map any port to the
// service. Platform-neutral.
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

class OwnHosts {
 public:
  OwnHosts() = default;  // none
  // "HOST[:PORT]", "[V6][:PORT]" or a bare IPv6 address, in any spelling
  // (case, a trailing dot, IDNA, any IPv4 form); false when it is no host.
  bool Add(std::string_view hostAndPort);
  // Hosts as Add takes them, separated by commas (spaces around them
  // dropped); false, with the first that is no host in `bad`, when one is not.
  bool AddList(std::string_view hosts, std::string* bad);
  // Every host that reaches the machine from itself (IsLoopbackHost): for a
  // service listening on loopback or on every address.
  void AddLoopback() { loopback_ = true; }

  // `host` as CheckAddress gives it.
  bool Holds(std::string_view host) const;

 private:
  std::vector<std::string> hosts_;  // a few
  bool loopback_ = false;
};

}  // namespace snipora::service
