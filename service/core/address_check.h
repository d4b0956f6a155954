#pragma once
// Whether a long address may be shortened, and the rules for short codes.
// Platform-neutral: the service and the fuzz build compile it alike.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "service/core/own_hosts.h"

namespace snipora::service {

inline constexpr std::size_t kMaxAddressLength = 8192;
inline constexpr std::size_t kCodeLength = 7;       // generated codes
inline constexpr std::size_t kMaxAliasLength = 32;  // codes asked for

// Why an address is refused; kAccepted when it is not. One row each in
// RefusalText.
enum class Refusal {
  kAccepted,
  kEmpty,
  kTooLong,
  kMalformed,    // no host, a bad host or port, control characters
  kScheme,       // anything but http and https
  kCredentials,  // a user name or password before the host
  kOwnAddress,   // one of this service's short addresses: a loop
  kDeniedHost,
  kNotUtf8,      // bytes that are not UTF-8 text
  kBadIdnaHost,  // a host name IDNA refuses (a forbidden character, bad punycode)
};
// One sentence for the refusal page and the API.
const char* RefusalText(Refusal refusal);

// Hosts refused, each with its subdomains ("example.com" also refuses
// "www.example.com"); an IP address only itself. The text form is one host a
// line; "#" starts a comment. Each line is read as a link's host is stored
// (IDNA, an IP address in its one form), so "0x0a060606" and "10.6.6.6"
// deny the same address.
class DenyList {
 public:
  DenyList() = default;
  static DenyList FromText(std::string_view text);
  bool Denies(std::string_view host) const;  // host in lower case
  std::size_t size() const { return hosts_.size(); }

 private:
  // looked up by view: a host and its parents are asked without a copy each
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_set<std::string, Hash, std::equal_to<>> hosts_;
};

struct AddressCheck {
  Refusal refusal = Refusal::kAccepted;
  // lower case, without a trailing dot, an IP address in its one form
  // (host_form.h); set when it could be read
  std::string host;
};
// An address on one of `own` (any port) is one of ours: a loop. A host that
// ends in a number but is no IPv4 address is malformed, as browsers find it.
AddressCheck CheckAddress(std::string_view address, const OwnHosts& own, const DenyList& denied);

// The host of "HOST[:PORT]" in lower case, an IP address in its one form.
std::string HostOf(std::string_view hostAndPort);

// Letters, digits, "-" and "_", 1 to kMaxAliasLength of them.
bool IsValidCode(std::string_view code);
// Names the service answers itself ("api", "healthz", "metrics", ...): never
// a code.
bool IsReservedCode(std::string_view code);

}  // namespace snipora::service
