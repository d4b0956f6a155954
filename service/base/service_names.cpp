#include "service/base/service_names.h"

#include <optional>

#include "service/core/address_check.h"
#include "service/core/allowed_hosts.h"
#include "service/core/host_form.h"

namespace snipora::service {

Domains::Domains(const Settings& settings) {
  const auto add = [this](std::string_view host) {
    const std::optional<std::string> name = HostKey(host);
    if (!name || Find(host)) return;  // the option's check refused a non-host; a repeat adds nothing
    list_.push_back({std::string(host), *name, list_.empty() ? "" : *name});
  };
  std::string_view given = settings.domains;
  while (!given.empty()) {
    const std::size_t comma = given.find(',');
    add(given.substr(0, comma));
    given = comma == std::string_view::npos ? std::string_view() : given.substr(comma + 1);
  }
  if (list_.empty()) list_.push_back({settings.publicHost, HostKey(settings.publicHost).value_or(""), ""});
}

const Domain* Domains::Find(std::string_view hostAndPort) const {
  const std::optional<std::string> name = HostKey(hostAndPort);
  if (!name) return nullptr;
  for (const Domain& domain : list_)
    if (domain.name == *name) return &domain;
  return nullptr;
}

const Domain* Domains::OfStored(std::string_view stored) const {
  for (const Domain& domain : list_)
    if (domain.stored == stored) return &domain;
  return nullptr;
}

OwnHosts OwnHostsOf(const Settings& settings) {
  OwnHosts hosts;
  // a link to any domain would lead back here
  const Domains domains(settings);
  for (const Domain& domain : domains.all()) hosts.Add(domain.host);
  if (const std::optional<ListenAddress> listen = ParseListen(settings.listen)) {
    const std::string host = listen->host.find(':') != std::string::npos ? "[" + listen->host + "]" : listen->host;
    hosts.Add(host);
    if (IsLoopbackHost(HostOf(host))) hosts.AddLoopback();
  }
  hosts.AddList(settings.ownHosts, nullptr);  // checked when the settings were read
  return hosts;
}

}  // namespace snipora::service
