#include "service/core/framing.h"

#include "service/core/request.h"

namespace snipora::service {
namespace {

bool Alphanumeric(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// RFC 9110's token: what a field name is made of.
bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!Alphanumeric(c) && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
  return true;
}

// What a Host value may hold: a name, an IP literal in brackets, a port.
bool IsHostValue(std::string_view text) {
  for (char c : text)
    if (!Alphanumeric(c) && std::string_view("-._~%!$&'()*+,;=:[]").find(c) == std::string_view::npos) return false;
  return true;
}

bool IsNumber(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether every coding a Transfer-Encoding value lists is chunked (a
// parameter after ';' ignored); "" lists none.
bool OnlyChunked(std::string_view value) {
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    std::string_view coding = value.substr(0, comma);
    coding = Trim(coding.substr(0, coding.find(';')));
    if (!coding.empty() && !SameNoCase(coding, "chunked")) return false;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return true;
}

constexpr FramingRefusal Bad(std::string_view reason) { return {400, reason}; }

}  // namespace

std::optional<FramingRefusal> CheckFraming(std::string_view version, std::span<const HeaderField> headers) {
  int hosts = 0, lengths = 0, encodings = 0;
  bool knownCodings = true;
  const HeaderField* encoding = nullptr;
  for (const HeaderField& header : headers) {
    if (!IsToken(header.name))
      return Bad("A header name is empty or holds a space or another character no name may hold.");
    if (header.folded) return Bad("A header is continued on a second line (obsolete line folding).");
    if (SameNoCase(header.name, "Host")) {
      ++hosts;
      if (!IsHostValue(header.value)) return Bad("The Host header is not a host name with an optional port.");
    } else if (SameNoCase(header.name, "Content-Length")) {
      ++lengths;
      if (!IsNumber(header.value)) return Bad("Content-Length is not a number.");
    } else if (SameNoCase(header.name, "Transfer-Encoding")) {
      ++encodings;
      encoding = &header;
      knownCodings = knownCodings && OnlyChunked(header.value);
    }
  }
  // HTTP/1.0 may name no host; anything later must name one
  if (hosts == 0 && version != "HTTP/1.0") return Bad("An HTTP/1.1 request needs a Host header.");
  if (hosts > 1) return Bad("The request has more than one Host header.");
  if (lengths > 1) return Bad("The request has more than one Content-Length header.");
  if (encodings == 0) return std::nullopt;
  if (version == "HTTP/1.0") return Bad("Transfer-Encoding is not part of HTTP/1.0.");
  if (lengths > 0) return Bad("The request has both Transfer-Encoding and Content-Length.");
  if (!knownCodings) return FramingRefusal{501, "This service reads no transfer coding but chunked."};
  // libmicrohttpd reads a body as chunked only when the first line says
  // exactly that; anything else would be read to the connection's end
  if (encodings > 1 || !SameNoCase(encoding->value, "chunked"))
    return Bad("Transfer-Encoding must be chunked, once and alone.");
  return std::nullopt;
}

}  // namespace snipora::service
