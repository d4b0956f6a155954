#pragma once
// The one form an address is stored in, so that its equivalent spellings get
// one code, and the readable form pages show. Platform-neutral (libidn2 for
// the host names).
//
// The stored form is ASCII: the scheme and host in lower case, the host as
// IDNA (UTS #46) and an IP address in the one form browsers read it in
// (host_form.h: IPv4 as dotted decimal, IPv6 compressed, IPv4-mapped IPv6 as
// IPv4), the port only when it is not the scheme's default, "/" for
// an empty path, and every byte of the path, query and fragment that a URL
// may not hold raw as %XX, as UTF-8, with upper-case hex. Escapes already
// there stay escapes (their hex upper-cased): "%41" is not "A" to every
// server. Rows stored before this form existed keep their bytes; a redirect
// escapes what a header cannot carry (LocationValue).
#include <string>
#include <string_view>

#include "service/core/address_check.h"

namespace snipora::service {

struct StoredForm {
  Refusal refusal = Refusal::kAccepted;  // kNotUtf8, kBadIdnaHost or kMalformed
  std::string address;                   // set when accepted
};
// The stored form of an address CheckAddress accepted.
StoredForm StoredAddress(std::string_view accepted);

// A host as the stored form writes it: lower case, IDNA (UTS #46) for
// non-ASCII or "xn--" labels, then an IP address in its one form
// (CanonicalHost: "１０.６.６.６" is 10.6.6.6 only after the mapping).
struct StoredHost {
  Refusal refusal = Refusal::kAccepted;  // kBadIdnaHost or kMalformed
  std::string host;                      // set when accepted
};
StoredHost StoredHostOf(std::string_view host);

// What a creation does with what it is given: CheckAddress, the stored form,
// and CheckAddress again on that form, since the deny list and this service's
// own host are matched on the IDNA host, the length limit holds for what is
// stored, and a host UTS #46 maps to other characters is checked as it will
// be sent.
StoredForm AcceptAddress(std::string_view address, const OwnHosts& own, const DenyList& denied);

// The address as browsers show it: the host decoded from IDNA (when it
// encodes back to itself), and %XX sequences that are UTF-8 for a printable
// non-ASCII character decoded. ASCII escapes stay (decoding "%2F" or "%3F"
// would change the address), and so do invisible or direction-changing
// characters; bytes that are not UTF-8 (rows stored before) become %XX, so
// the result is always UTF-8.
std::string ReadableAddress(std::string_view stored);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(std::string_view text);

}  // namespace snipora::service
