#pragma once
// Who a request speaks for behind a reverse proxy. A peer in the trusted
// ranges has its client's address taken from X-Forwarded-For (the right-most
// address that is not itself trusted) or, without it, from Forwarded: for=;
// from any other peer those headers are ignored, since anyone can send them.
// Platform-neutral: addresses in, address text out.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snipora::service {

// IPv4 and IPv6 addresses and CIDR ranges: "10.0.0.1, 192.168.0.0/16 ::1
// fd00::/8", separated by commas or spaces. IPv4 is kept as IPv4-mapped
// IPv6, so "10.0.0.0/8" also holds "::ffff:10.1.2.3".
class AddressRanges {
 public:
  // Nothing, with `error` saying which entry, when an entry is not an address
  // or range.
  static std::optional<AddressRanges> Parse(std::string_view text, std::string* error);
  bool Contains(std::string_view address) const;  // an address literal; false for anything else
  bool empty() const { return ranges_.empty(); }

 private:
  struct Range {
    std::array<uint8_t, 16> bytes;
    unsigned bits;
  };
  std::vector<Range> ranges_;
};

// An address literal in its canonical text ("::ffff:1.2.3.4" as "1.2.3.4",
// IPv6 compressed and lower case); nothing when `text` is not one. A port
// (":80", "[v6]:80") and RFC 7239's quotes around a node are taken off.
std::optional<std::string> CanonicalAddress(std::string_view text);

// The client's address: `peer` itself unless it is in `trusted`; then the
// right-most X-Forwarded-For entry not in `trusted` (the left-most when all
// are), or without that header the same walk over Forwarded's for= values.
// A header whose entry there is not an address gives `peer`. `xForwardedFor`
// and `forwarded` hold every line of their header, joined with ", ".
std::string ForwardedClient(std::string_view peer, std::string_view xForwardedFor, std::string_view forwarded,
                            const AddressRanges& trusted);

}  // namespace snipora::service
