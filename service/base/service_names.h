#pragma once
// The names this service answers on, from its settings: the domains its
// links live on, and where no link may lead (a loop). The service's
// creations and `import` check against them.
#include <string>
#include <string_view>
#include <vector>

#include "service/base/settings.h"
#include "service/core/own_hosts.h"

namespace snipora::service {

// One domain the links live on.
struct Domain {
  std::string host;    // as given (HOST[:PORT]): the short addresses' host
  std::string name;    // lower case, without a port or a trailing dot (HostKey)
  std::string stored;  // the store's name for it (store.h): "" for the default
};

// --domain in order, the first the default; without it, the public host alone.
class Domains {
 public:
  explicit Domains(const Settings& settings);
  const Domain& Default() const { return list_.front(); }
  // The domain a host names (HOST[:PORT] in any spelling HostKey reads the
  // same: a request's Host, a client's "domain"); null when none.
  const Domain* Find(std::string_view hostAndPort) const;
  // The domain of a stored link; null when it is none of the service's now.
  const Domain* OfStored(std::string_view stored) const;
  const std::vector<Domain>& all() const { return list_; }

 private:
  std::vector<Domain> list_;
};

// Every domain, the listen address, --own-hosts, and every loopback host
// (localhost, 127.0.0.0/8, ::1) when the service listens on loopback or on
// every address (0.0.0.0, ::). Listening on every address, the machine's
// other addresses are not known here: --own-hosts names those that matter.
OwnHosts OwnHostsOf(const Settings& settings);

}  // namespace snipora::service
