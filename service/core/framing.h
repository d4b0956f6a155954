#pragma once
// Whether a request head says one thing only about where its body ends and
// which host it is for: a proxy in front that reads a head one way while this
// service reads it another would let a client hide a second request in a
// body (request smuggling). Strict where RFC 9112 lets a server refuse.
// Platform-neutral: the head's version and header lines in, a verdict out.
#include <optional>
#include <span>
#include <string_view>

namespace snipora::service {

// One header line as the transport received it.
struct HeaderField {
  std::string_view name;
  std::string_view value;
  bool folded = false;  // continued on a following line (obsolete line folding)
};

struct FramingRefusal {
  int status;               // 400, or 501 for a transfer coding not read here
  std::string_view reason;  // one sentence, for the client
};

// Nothing when the head may be served. `version` as the request line has it
// ("HTTP/1.1"); `headers` every line, duplicates included, in order. Refused:
// a name that is not a token (a space before the colon), a folded line, no
// Host on HTTP/1.1, two Hosts, a Host no host name and port spell, more than
// one Content-Length or one that is not a number, Transfer-Encoding on
// HTTP/1.0 or beside Content-Length, any coding but chunked (501), or chunked
// other than alone and once.
std::optional<FramingRefusal> CheckFraming(std::string_view version, std::span<const HeaderField> headers);

}  // namespace snipora::service
