#include "service/core/own_hosts.h"

#include <algorithm>

#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/host_form.h"

namespace snipora::service {

bool OwnHosts::Add(std::string_view hostAndPort) {
  std::string authority(hostAndPort);
  // "::1" alone: the colons are the address's, not a port's
  if (std::count(authority.begin(), authority.end(), ':') > 1 && !authority.starts_with('['))
    authority = "[" + authority + "]";
  // read as a link's host is, then as it is stored (IDNA), the form a
  // creation's second check compares
  const AddressCheck check = CheckAddress("http://" + authority + "/", OwnHosts(), DenyList());
  if (check.refusal != Refusal::kAccepted || authority.find_first_of("/?#") != std::string::npos) return false;
  StoredHost stored = StoredHostOf(check.host);
  if (stored.refusal != Refusal::kAccepted) return false;
  while (stored.host.ends_with('.')) stored.host.pop_back();  // "。" at the end is one too
  if (std::find(hosts_.begin(), hosts_.end(), stored.host) == hosts_.end()) hosts_.push_back(stored.host);
  return true;
}

bool OwnHosts::AddList(std::string_view hosts, std::string* bad) {
  while (!hosts.empty()) {
    const std::size_t comma = hosts.find(',');
    std::string_view host = hosts.substr(0, comma);
    hosts = comma == std::string_view::npos ? std::string_view() : hosts.substr(comma + 1);
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) host.remove_prefix(1);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.remove_suffix(1);
    if (!host.empty() && !Add(host)) {
      if (bad) *bad = host;
      return false;
    }
  }
  return true;
}

bool OwnHosts::Holds(std::string_view host) const {
  if (loopback_ && IsLoopbackHost(host)) return true;
  return std::find(hosts_.begin(), hosts_.end(), host) != hosts_.end();
}

}  // namespace snipora::service
