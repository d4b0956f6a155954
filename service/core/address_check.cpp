#include "service/core/address_check.h"

#include <array>
#include <utility>

#include "service/core/address_form.h"
#include "service/core/host_form.h"

namespace snipora::service {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool HostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;  // internationalised names as UTF-8
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

constexpr std::array<std::pair<Refusal, const char*>, 10> kRefusalTexts = {{
    {Refusal::kAccepted, "The address is accepted."},
    {Refusal::kEmpty, "No address was given."},
    {Refusal::kTooLong, "The address is longer than 8192 bytes."},
    {Refusal::kMalformed, "The address is not a valid web address."},
    {Refusal::kScheme, "Only http and https addresses can be shortened."},
    {Refusal::kCredentials, "Addresses with a user name or password are refused."},
    {Refusal::kOwnAddress, "The address is already a short address of this service."},
    {Refusal::kDeniedHost, "Addresses on this host are not shortened here."},
    {Refusal::kNotUtf8, "The address holds bytes that are not UTF-8 text."},
    {Refusal::kBadIdnaHost, "The host is not a valid internationalised domain name."},
}};

}  // namespace

const char* RefusalText(Refusal refusal) {
  for (const auto& [value, text] : kRefusalTexts)
    if (value == refusal) return text;
  return "The address is refused.";
}

DenyList DenyList::FromText(std::string_view text) {
  DenyList list;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    line = Trim(line.substr(0, line.find('#')));
    while (!line.empty() && line.back() == '.') line.remove_suffix(1);
    if (line.empty()) continue;
    std::string host = LowerText(line);
    if (host.find(':') != std::string::npos && !host.starts_with('[')) host = "[" + host + "]";  // bare IPv6
    // a line that is no host is kept as written: it matches nothing a check lets through
    StoredHost stored = StoredHostOf(host);
    if (stored.refusal == Refusal::kAccepted) host = std::move(stored.host);
    while (!host.empty() && host.back() == '.') host.pop_back();
    list.hosts_.insert(std::move(host));
  }
  return list;
}

bool DenyList::Denies(std::string_view host) const {
  if (hosts_.empty()) return false;
  // "6.6" is no parent of 10.6.6.6
  if (IsIpHost(host)) return hosts_.contains(host);
  // the host itself, then each parent domain
  while (!host.empty()) {
    if (hosts_.contains(host)) return true;
    const std::size_t dot = host.find('.');
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return false;
}

std::string HostOf(std::string_view hostAndPort) {
  const std::string host = !hostAndPort.empty() && hostAndPort[0] == '['
                               ? LowerText(hostAndPort.substr(0, hostAndPort.find(']') + 1))
                               : LowerText(hostAndPort.substr(0, hostAndPort.find(':')));
  return CanonicalHost(host).value_or(host);
}

AddressCheck CheckAddress(std::string_view address, const OwnHosts& own, const DenyList& denied) {
  AddressCheck check;
  if (address.empty()) return {Refusal::kEmpty, {}};
  if (address.size() > kMaxAddressLength) return {Refusal::kTooLong, {}};
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos) return {Refusal::kMalformed, {}};
  const std::string scheme = LowerText(address.substr(0, colon));
  if (scheme != "http" && scheme != "https") return {Refusal::kScheme, {}};
  for (char c : address)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return {Refusal::kMalformed, {}};  // a space becomes %20 in Location
  if (address.substr(colon, 3) != "://") return {Refusal::kMalformed, {}};

  std::string_view authority = address.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  // "@" anywhere in the authority: what stands before it is credentials,
  // and the host a reader sees first is not where the address leads
  if (authority.find('@') != std::string_view::npos) return {Refusal::kCredentials, {}};

  std::string_view host = authority;
  std::string_view port;
  if (!host.empty() && host[0] == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return {Refusal::kMalformed, {}};
    for (char c : host.substr(1, close - 1))
      if (!(HostCharacter(Lower(c)) || c == ':') || static_cast<unsigned char>(c) >= 0x80) return {Refusal::kMalformed, {}};
    port = host.substr(close + 1);
    host = host.substr(0, close + 1);
    if (!port.empty() && port[0] != ':') return {Refusal::kMalformed, {}};
    if (!port.empty()) port.remove_prefix(1);
  } else {
    const std::size_t portColon = host.find(':');
    if (portColon != std::string_view::npos) {
      port = host.substr(portColon + 1);
      host = host.substr(0, portColon);
    }
    for (char c : host)
      if (!HostCharacter(Lower(c))) return {Refusal::kMalformed, {}};
  }
  if (port.size() > 5) return {Refusal::kMalformed, {}};
  unsigned portNumber = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return {Refusal::kMalformed, {}};
    portNumber = portNumber * 10 + unsigned(c - '0');
  }
  if (portNumber > 65535) return {Refusal::kMalformed, {}};

  check.host = LowerText(host);
  while (!check.host.empty() && check.host.back() == '.') check.host.pop_back();
  if (check.host.empty() || check.host == "[]") return {Refusal::kMalformed, {}};
  std::optional<std::string> canonical = CanonicalHost(check.host);
  if (!canonical) return {Refusal::kMalformed, {}};
  check.host = std::move(*canonical);
  if (own.Holds(check.host)) {
    check.refusal = Refusal::kOwnAddress;
  } else if (denied.Denies(check.host)) {
    check.refusal = Refusal::kDeniedHost;
  }
  return check;
}

bool IsValidCode(std::string_view code) {
  if (code.empty() || code.size() > kMaxAliasLength) return false;
  for (char c : code) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool IsReservedCode(std::string_view code) {
  // the first segments of the service's own paths (rest: the Shlink API's)
  static constexpr std::string_view kReserved[] = {"api",     "healthz", "metrics", "create",  "static",
                                                    "favicon", "robots",  "rest",    "download"};
  const std::string lower = LowerText(code);
  for (std::string_view name : kReserved)
    if (lower == name) return true;
  return false;
}

}  // namespace snipora::service
