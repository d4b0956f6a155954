#pragma once
// The one spelling of a host that is an IP address, as browsers read it (the
// URL Standard's host parser): "http://168164870/", "http://0x0a060606/",
// "http://012.06.06.06/", "http://10.6.1542/" and "http://[::ffff:a06:606]/"
// all lead to 10.6.6.6, so the deny list, the loop check and the stored form
// must all see that one form. Platform-neutral.
#include <optional>
#include <string>
#include <string_view>

namespace snipora::service {

// `host` in ASCII lower case, after IDNA (full-width digits and "。" are
// ASCII by then), an IPv6 literal in brackets:
// - a host that ends in a number is IPv4, in any of its spellings (decimal,
//   "0x" hex, "0" octal, one to four parts, the last filling the bytes left,
//   one trailing dot), written as dotted decimal;
// - an IPv6 literal is written compressed in lower case, in brackets; an
//   IPv4-mapped one (::ffff:a.b.c.d) as that IPv4 address;
// - any other name is given back as it is.
// Nothing when the host ends in a number but is no IPv4 address
// ("10.6.6.256", "1.2.3.4.5", "08.1.1.1", "example.123") or is a bad IPv6
// literal: browsers refuse those too.
std::optional<std::string> CanonicalHost(std::string_view host);

// Whether a host CanonicalHost gave is an address rather than a name.
bool IsIpHost(std::string_view canonical);

// Whether a host CanonicalHost gave reaches the machine it is asked on:
// localhost and its subdomains, 127.0.0.0/8, [::1], and the wildcard
// addresses 0.0.0.0 and [::], which a connection from the machine itself
// takes to loopback.
bool IsLoopbackHost(std::string_view canonical);

}  // namespace snipora::service
