#include "service/base/service_names.h"

#include "service/core/address_check.h"
#include "service/core/host_form.h"

namespace snipora::service {

OwnHosts OwnHostsOf(const Settings& settings) {
  OwnHosts hosts;
  hosts.Add(settings.publicHost);
  if (const std::optional<ListenAddress> listen = ParseListen(settings.listen)) {
    const std::string host = listen->host.find(':') != std::string::npos ? "[" + listen->host + "]" : listen->host;
    hosts.Add(host);
    if (IsLoopbackHost(HostOf(host))) hosts.AddLoopback();
  }
  hosts.AddList(settings.ownHosts, nullptr);  // checked when the settings were read
  return hosts;
}

}  // namespace snipora::service
