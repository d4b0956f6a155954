#pragma once
// One A lookup over UDP, to a resolver given or the system's first
// (/etc/resolv.conf): the blocklists' way of answering. On the caller's
// thread, which waits at most the timeout a try.
#include <chrono>
#include <string>

#include "service/core/dns_message.h"

namespace snipora::service {

struct DnsServer {
  std::string address;  // IPv4 or IPv6, a literal
  uint16_t port = 53;
};
// The system's: the first "nameserver" of /etc/resolv.conf; none: 127.0.0.1.
DnsServer SystemDnsServer();

// kFailed (and why in `error`) when no answer came within two tries.
DnsAnswer LookUp(const DnsServer& server, const std::string& name, std::string* error,
                 std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace snipora::service
