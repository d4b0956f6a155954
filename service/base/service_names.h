#pragma once
// The names this service answers on, from its settings: where no link may
// lead (a loop). The service's creations and `import` check against them.
#include "service/core/own_hosts.h"
#include "service/base/settings.h"

namespace snipora::service {

// The public host, the listen address, --own-hosts, and every loopback host
// (localhost, 127.0.0.0/8, ::1) when the service listens on loopback or on
// every address (0.0.0.0, ::). Listening on every address, the machine's
// other addresses are not known here: --own-hosts names those that matter.
OwnHosts OwnHostsOf(const Settings& settings);

}  // namespace snipora::service
