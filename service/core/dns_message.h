#pragma once
// The two DNS messages a blocklist lookup needs: an A query for a name, and
// what its answer says. Answers come from the network: every length and
// pointer is checked before it is followed. Platform-neutral.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// An A query (recursion desired) for `name` ("host.zone"); nothing when a
// label is empty or over 63 bytes, or the name over 253.
std::optional<std::string> DnsQuery(uint16_t id, std::string_view name);

struct DnsAnswer {
  enum Outcome { kListed, kNotListed, kFailed } outcome = kFailed;
  std::vector<std::string> addresses;  // kListed: the A records, dotted
};
// The answer to the query `id`: kListed with an A record, kNotListed for
// NXDOMAIN or no A record, kFailed for anything else (another id, a server
// failure, a malformed message).
DnsAnswer ReadDnsAnswer(std::string_view message, uint16_t id);

}  // namespace snipora::service
